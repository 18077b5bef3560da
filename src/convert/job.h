// Converting one carrier GIF into the output it carries.
//
// A conversion makes its output in a staging file "<base>.temp", which then
// takes the output's name, "<base>.bmp" for a BMP. The base is the source's
// own path unless the caller puts the output elsewhere. A failed conversion
// leaves nothing behind but the untouched source and any earlier output.
#pragma once

#include <functional>
#include <span>

#include "bitmap_rows.h"
#include "file_io.h"
#include "output_writer.h"

// Where one conversion's output goes: `base` + `suffix`, made in `base` +
// kStagingSuffix. A check reads and tests everything a conversion would,
// and creates, replaces and removes nothing.
struct Job {
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

// Whether `name` ends in ".gif" or ".GIF", the only names converted. A name
// ending so has no separator or dot after that last extension.
bool HasCarrierExtension(const NativeString& name);

// Whether `path` names a carrier by its absolute form, so that "x.gif/."
// does and "x.gif/" does not; kUnsupported when the form cannot be had.
Error TestCarrierName(Platform& os, const NativeString& path);

// Makes the output `job` names with `make`, in its staging file, which then
// takes the output's name, what stood there kept first as `backup` where
// one is named, under the name *kept then holds; a check's `make` writes nowhere.
Error MakeOutput(Platform& os, const Job& job, const std::function<Error(OutputTarget& target)>& make,
                 const BackupName& backup = {}, NativeString* kept = nullptr);

// Converts the carrier at `source` as the window does: the name tested, the
// carrier opened, its payload poured through `writer` into the output,
// reading through `buffer`.
Outcome RunJob(Platform& os, const NativeString& source, const Job& job, OutputWriter& writer,
               std::span<std::uint8_t> buffer);
