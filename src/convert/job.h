// Converting one carrier GIF into the output it carries.
//
// A conversion finds the carrier's chain and pours the payload into a
// writer, which makes the output in a staging file "<base>.temp"; that then
// takes the output's name, "<base>.bmp" for a BMP. The base is the source's
// own path unless the caller puts the output elsewhere. A failed conversion
// leaves nothing behind but the untouched source and any earlier output.
#pragma once

#include <cstdint>
#include <span>

#include "bitmap_rows.h"
#include "container.h"
#include "error.h"

// What a writer knows once the payload has ended.
struct Ending {
  Ending() = default;
  Ending(Error error) : error(error) {}  // a writer that failed

  Error error;
  bool needsSecondPass = false;  // the payload must be poured again
  BitmapInfo bitmap;             // what the payload showed of itself
};

// Makes one kind of output from a payload poured into it, in one pass or,
// when it asks, two.
class OutputWriter : public PayloadSink {
 public:
  // Starts a pass: the output goes to `file` (kNoFile for a check, which
  // writes nothing) and the payload comes from `source`, which was `stamp`
  // when it was opened and bounds the payload's size.
  virtual Error Start(FileHandle file, const OpenedFile& source) = 0;
  // The payload has ended; it came in a carrier of `form`.
  virtual Ending Finish(CarrierForm form) = 0;
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
  CarrierForm form = CarrierForm::kImage;
  BitmapInfo bitmap;  // what the payload showed of itself, once it had ended
};

inline constexpr const NativeChar* kBmpSuffix = NATIVE_TEXT(".bmp");
inline constexpr const NativeChar* kStagingSuffix = NATIVE_TEXT(".temp");

// Whether `name` ends in ".gif" or ".GIF", the only names converted. A name
// ending so has no separator or dot after that last extension.
bool HasCarrierExtension(const NativeString& name);

// Whether `path` names a carrier by its absolute form, so that "x.gif/."
// does and "x.gif/" does not; kUnsupported when the form cannot be had.
Error TestCarrierName(Platform& os, const NativeString& path);

// Runs one conversion through `writer`, reading through `buffer`, and says
// how it went.
Outcome RunJob(Platform& os, const Job& job, OutputWriter& writer, std::span<std::uint8_t> buffer);
