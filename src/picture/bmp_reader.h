// BMP pictures, read through the model that reads the carried bitmap: every
// header version editors write, uncompressed, bitfields or RLE, top-down or
// bottom-up, a row at a time in the order they are stored.
#pragma once

#include <cstdint>

#include "picture_file.h"

// Reads the BMP picture `file` holds, which must be the target's size, in
// pieces of a fixed size whatever its width and depth.
PictureProblem ReadBmp(PictureFile& file, const PictureTarget& target, PictureSink& sink);

// Reads the picture at `path` as ReadPicture does, for BMP alone: the
// window's, which links no PNG reader, so that a PNG is a form it does not know.
PictureProblem ReadBmpPicture(Platform& os, const NativeString& path, const PictureTarget& target, PictureSink& sink,
                              std::span<std::uint8_t> buffer);
