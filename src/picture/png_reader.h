// PNG pictures read a row at a time through libpng, which checks every CRC
// and the image data's Adler-32 and, told to, refuses image data past the
// picture's end.
#pragma once

#include <cstdint>

#include "picture_file.h"

// Reads the PNG picture `file` holds, which must be `width` x `height`.
PictureProblem ReadPng(PictureFile& file, std::uint32_t width, std::uint32_t height, PictureSink& sink);
