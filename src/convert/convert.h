// Converting one carrier GIF into the BMP file it carries.
//
// A carrier GIF keeps the byte image of a whole BMP file in its first data
// sub-block chain. A conversion finds that chain and writes the payload, its
// pixel rows in the order and padding a BMP reader expects, to a staging file "<base>.temp", which then takes the
// name "<base>.bmp"; the base is the source's own path unless the caller puts
// the output elsewhere. A failed conversion leaves nothing behind but the
// untouched source and any earlier output.
#pragma once

#include <cstdint>
#include <span>

#include "platform.h"

enum class Status {
  kOk,
  kBadExtension,  // the name does not end in ".gif" or ".GIF"
  kUnsupported,   // not a carrier GIF, or one whose chain or bitmap is cut short
  kIoError,       // a file could not be opened, created, read, written or removed
  kOutOfMemory,
};

// The file operation a conversion was on when it failed.
enum class Step {
  kNone,
  kOpenSource,     // with kUnsupported: the source cannot be opened
  kReadSource,     // with kUnsupported: what was read is no carrier of a bitmap
  kCreateOutput,   // the staging file cannot be created
  kWriteOutput,    // the staging file cannot be written or closed
  kReplaceOutput,  // the staging file cannot take the output's name
};

enum class CarrierForm { kImage, kComment };

// How the carried bitmap is converted: kPlain, without a standard header,
// as 3-byte pixels from byte 54; kRows, by the rows its header describes;
// kCompressed, kept as it is carried.
enum class BitmapForm { kPlain, kRows, kCompressed };

// What a source carries, as far as it was read.
struct Carrier {
  CarrierForm form = CarrierForm::kImage;
  std::uint64_t bytes = 0;  // the payload's length
  bool hasFields = false;   // whether the payload reaches past the bitmap's size fields
  std::int32_t width = 0;
  std::int32_t height = 0;
  BitmapForm bitmap = BitmapForm::kPlain;
  std::uint16_t bitsPerPixel = 0;   // kRows and kCompressed
  std::uint32_t compression = 0;    // kRows and kCompressed
  std::uint64_t rowBytes = 0;       // a row in the payload
  std::uint64_t writtenRowBytes = 0;  // a row in the output
};

inline constexpr const NativeChar* kOutputSuffix = NATIVE_TEXT(".bmp");
inline constexpr const NativeChar* kStagingSuffix = NATIVE_TEXT(".temp");

// One conversion: `source` is read; the output and the staging file are
// `base` + kOutputSuffix and `base` + kStagingSuffix. A check reads and tests everything a
// conversion would, and creates, replaces and removes nothing.
struct Job {
  NativeString source;
  NativeString base;
  bool checkOnly = false;
};

struct Outcome {
  Status status = Status::kOk;
  Step step = Step::kNone;
  int error = 0;  // the system's code for the failed call, Platform::LastError
  Carrier carrier;
};

// Whether `name` ends in ".gif" or ".GIF", the only names converted. A name
// ending so has no separator or dot after that last extension.
bool HasCarrierExtension(const NativeString& name);

// The window's message for a failure; nullptr for kOk.
const NativeChar* MessageText(Status status);

// Takes the payload a piece at a time, in order, as the container reader
// finds it.
class PayloadSink {
 public:
  virtual ~PayloadSink() = default;
  // kIoError when the bytes could not be passed on.
  virtual Status Append(std::span<const std::uint8_t> bytes) = 0;
};

// Probes `source` for a carrier GIF and hands its payload, without the
// sub-blocks' length bytes, to `sink`, reading from the file's start whatever
// was read before; sets *form once the probe has passed.
// On kUnsupported nothing the source holds past the probe is trusted.
Status ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form);

// Runs one conversion and says how it went; shows nothing.
Outcome RunJob(Platform& os, const Job& job);

// Shows "ファイル：<path>\n<message>" through the platform.
void ShowFileError(Platform& os, const NativeString& path, Status status);

// Converts `path` to `path` + ".bmp" beside it, showing a notice on failure.
Outcome ConvertFile(Platform& os, const NativeString& path);
