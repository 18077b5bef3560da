// PNG pictures, a row at a time both ways: read through libpng, which checks
// every CRC and the image data's Adler-32 and, told to, refuses image data
// past the picture's end; written here, through zlib.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "picture_file.h"

inline constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Reads the PNG picture `file` holds, which must be `width` x `height`.
PictureProblem ReadPng(PictureFile& file, std::uint32_t width, std::uint32_t height, PictureSink& sink);

// What a PNG file to write holds: RGB, RGBA or palette indices of `depth`
// bits (1, 2, 4 or 8), and for indices the palette's colours, in its order.
struct PngForm {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  enum class Colours { kTrueColour, kTrueColourAlpha, kIndexed } colours = Colours::kTrueColour;
  int depth = 8;
  std::span<const Rgba> palette = {};
};

// Writes a PNG file of `form`, taking row y into `row` (3 or 4 bytes a pixel,
// or one index each) from `fill` and the file's bytes on to `write`; false
// when either fails or memory runs out, which *outOfMemory tells.
bool WritePng(const PngForm& form, const std::function<void(std::uint32_t y, std::uint8_t* row)>& fill,
              const std::function<bool(std::span<const std::uint8_t>)>& write, bool* outOfMemory);
