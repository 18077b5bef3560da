// BMP pictures, read through the model that reads the carried bitmap: every
// header version editors write, uncompressed, bitfields or RLE, top-down or
// bottom-up, a row at a time in the order they are stored.
#pragma once

#include <cstdint>

#include "picture_file.h"

// Reads the BMP picture `file` holds, which must be the target's size, in
// pieces of a fixed size whatever its width and depth.
PictureProblem ReadBmp(PictureFile& file, const PictureTarget& target, PictureSink& sink);
