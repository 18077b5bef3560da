// Converting one carrier GIF into the BMP file it carries.
//
// A carrier GIF keeps the byte image of a whole BMP file in its first data
// sub-block chain. A conversion finds that chain and pours the payload into a
// writer, which makes the output in a staging file "<base>.temp"; that then
// takes the output's name, "<base>.bmp" for a BMP. The base is the source's
// own path unless the caller puts the output elsewhere. A failed conversion
// leaves nothing behind but the untouched source and any earlier output.
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
  kBusy,          // another conversion is writing the same output
  kRefused,       // the writer cannot make its output of this bitmap; it tells why
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

// What went wrong, at which step, and the system's reason where it has one.
struct Error {
  Error() = default;
  Error(Status status, Step step = Step::kNone, SystemError cause = {}) : status(status), step(step), cause(cause) {}

  Status status = Status::kOk;
  Step step = Step::kNone;
  SystemError cause;

  explicit operator bool() const { return status != Status::kOk; }
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
  std::uint16_t bitsPerPixel = 0;     // kRows and kCompressed
  std::uint32_t compression = 0;      // kRows and kCompressed
  std::uint64_t rowBytes = 0;         // a row in the payload
  std::uint64_t writtenRowBytes = 0;  // a row in the output
};

// Takes the payload a piece at a time, in order, as the container reader
// finds it.
class PayloadSink {
 public:
  virtual ~PayloadSink() = default;
  virtual Error Append(std::span<const std::uint8_t> bytes) = 0;
};

// Makes one kind of output from a payload poured into it, in one pass or,
// when it asks, two.
class OutputWriter : public PayloadSink {
 public:
  // Starts a pass: the output goes to `file` (kNoFile for a check, which
  // writes nothing) and the payload comes from `source`, which bounds its size.
  virtual Error Start(FileHandle file, FileHandle source) = 0;
  // The payload has ended; it came in a carrier of `form`.
  virtual Error Finish(CarrierForm form) = 0;
  // After Finish: whether the payload must be poured again.
  virtual bool Again() const { return false; }
  // After Finish: whether the output would be what already stands at its
  // name, so that nothing is to replace it.
  virtual bool Unchanged() const { return false; }
  // Fills in what the payload showed of itself, as far as it arrived.
  virtual void Describe(Carrier*) const {}
};

// One conversion: `source` is read; the output and the staging file are
// `base` + `suffix` and `base` + kStagingSuffix. A check reads and tests
// everything a conversion would, and creates, replaces and removes nothing.
struct Job {
  NativeString source;
  NativeString base;
  const NativeChar* suffix;
  bool checkOnly = false;
};

struct Outcome {
  Outcome() = default;
  Outcome(Error error) : error(error) {}  // a job that ended before it read anything

  Error error;
  bool unchanged = false;  // the output stood already; nothing was written
  Carrier carrier;
};

inline constexpr const NativeChar* kBmpSuffix = NATIVE_TEXT(".bmp");
inline constexpr const NativeChar* kStagingSuffix = NATIVE_TEXT(".temp");

// Whether `name` ends in ".gif" or ".GIF", the only names converted. A name
// ending so has no separator or dot after that last extension.
bool HasCarrierExtension(const NativeString& name);

// Whether `path` names a carrier by its absolute form, so that "x.gif/."
// does and "x.gif/" does not; kUnsupported when the form cannot be had.
Error TestCarrierName(Platform& os, const NativeString& path);

// The window's message for a failure; nullptr for kOk.
const NativeChar* MessageText(Status status);

// Probes `source` for a carrier GIF and hands its payload, without the
// sub-blocks' length bytes, to `sink`, reading from the file's start through
// `buffer` whatever was read before; sets *form once the probe has passed.
// On kUnsupported nothing the source holds past the probe is trusted.
Error ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form,
                     std::span<std::uint8_t> buffer);

// Where byte `index` of the payload lies in a carrier of `form`: every
// sub-block but the last holds 255 bytes, each after its length byte.
std::uint64_t PayloadOffset(CarrierForm form, std::uint64_t index);

// Runs one conversion through `writer`, reading through `buffer`, and says
// how it went; shows nothing.
Outcome RunJob(Platform& os, const Job& job, OutputWriter& writer, std::span<std::uint8_t> buffer);

// Shows "ファイル：<path>\n<message>" through the platform.
void ShowFileError(Platform& os, const NativeString& path, Status status);

// Converts `path` to `path` + ".bmp" beside it, showing a notice on failure.
Outcome ConvertFile(Platform& os, const NativeString& path);
