// Pictures as people edit them: PNG or BMP files, read strictly and a row at
// a time, so that memory follows the carrier's bitmap and never the file's
// own numbers, and a cut, damaged or changing file is refused, never taken
// for a good one.
#pragma once

#include <span>

#include "../convert/platform.h"
#include "picture_sink.h"

inline constexpr const NativeChar* kPngSuffix = NATIVE_TEXT(".png");

// Reads the PNG or BMP picture at `path`, which must be the target's size,
// into `sink`, through `buffer`. A picture of another size is refused from
// its header, before any pixel. The sink takes pixels before the file is
// known to be whole, so nothing it took counts unless no problem comes back.
PictureProblem ReadPicture(Platform& os, const NativeString& path, const PictureTarget& target, PictureSink& sink,
                           std::span<std::uint8_t> buffer);

