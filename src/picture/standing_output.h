// An output that stands already, judged against the carrier it was made
// of: the very bytes a conversion writes, the same picture in other bytes,
// or another picture, an edit.
#pragma once

#include <span>

#include "pack.h"

// Whether the file at `path` holds exactly what converting `carrier` writes,
// as PNG when `png`, else as BMP; reads through `buffer` and builds the
// expected bytes in `scratch`.
bool HoldsConversion(Platform& os, Carrier& carrier, const NativeString& path, bool png, std::span<std::uint8_t> buffer,
                     std::span<std::uint8_t> scratch);

// How the picture at `picture` stands to `carrier`, which it leaves as it
// was: the patch it would make, read through `buffer`.
PatchResult CompareWithCarrier(Platform& os, const Carrier& carrier, const NativeString& picture,
                               std::span<std::uint8_t> buffer);
