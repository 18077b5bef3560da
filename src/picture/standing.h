// A picture or output that stands beside its carrier, judged against it:
// the very bytes a conversion writes, the same picture in other bytes, or
// another picture.
#pragma once

#include <span>

#include "../convert/carrier.h"
#include "patch.h"

// Whether the file at `path` holds exactly what converting `carrier`, held
// whole, writes: as PNG when `png`, else as BMP. A problem only when the
// file cannot be read.
PictureProblem HoldsConversion(Platform& os, CarrierFile& carrier, const NativeString& path, bool png,
                               const Workspace& workspace, bool* same);

// How the picture at `picture` stands to `carrier`, held whole, which it
// leaves as it was: the patch it would make, read through `buffer`.
PatchResult CompareWithCarrier(Platform& os, const CarrierFile& carrier, const NativeString& picture,
                               std::span<std::uint8_t> buffer);
