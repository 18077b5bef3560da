// PNG files written: RGB, RGBA or palette indices, a row at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "pixels.h"

// What a PNG file to write holds: RGB, RGBA or palette indices of `depth`
// bits (1, 2, 4 or 8), and for indices the palette's colours, in its order.
struct PngForm {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  enum class Colours { kTrueColour, kTrueColourAlpha, kIndexed } colours = Colours::kTrueColour;
  int depth = 8;
  std::span<const Rgba> palette = {};
};

// Takes a file's bytes in order, a piece at a time; false to hear no more.
using ByteSink = std::function<bool(std::span<const std::uint8_t> bytes)>;

// Writes a PNG file of `form`, taking row y into `row` (3 or 4 bytes a pixel,
// or one index each) from `fill` and the file's bytes on to `write`; false
// when either fails or memory runs out, which *outOfMemory tells.
bool WritePng(const PngForm& form, const std::function<void(std::uint32_t y, std::uint8_t* row)>& fill,
              const ByteSink& write, bool* outOfMemory);
