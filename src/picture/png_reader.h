// PNG pictures read a row at a time through libpng, which checks every CRC
// and the image data's Adler-32 and, told to, refuses image data past the
// picture's end.
#pragma once

#include <cstdint>

#include "picture_file.h"

// Reads the PNG picture `file` holds, which must be the target's size. libpng
// holds whole rows at the file's own depth, so a picture whose rows would
// take more than the larger of kPngRowsFloor and kPngRowsPerTargetRow times
// the target's row is refused from its header.
PictureProblem ReadPng(PictureFile& file, const PictureTarget& target, PictureSink& sink);

inline constexpr std::uint64_t kPngRowsFloor = 4 << 20;
inline constexpr std::uint64_t kPngRowsPerTargetRow = 32;
