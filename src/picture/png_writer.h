// PNG files written: the encoder, and the PNG output of a conversion, the
// picture the converted bitmap shows: indices on its own palette, RGB, or
// RGBA where the bitmap's header gives an alpha mask.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "../convert/job.h"
#include "held_payload.h"
#include "picture.h"

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
              const ByteSink& write, bool* outOfMemory);

// Whether the payload `payload`, whose rows are `rows`, shows a picture a
// PNG can hold: a standard header, its palette or masks, and pixels.
bool ShowsPicture(std::span<std::uint8_t> payload, const BitmapRows& rows);

// Hands the PNG file a conversion writes of `payload`, whose rows are
// `rows`, to `write` a piece at a time: kRefused for a payload that shows no
// picture, kOutOfMemory, or kIoError when `write` says false.
Error WriteBitmapPng(std::span<std::uint8_t> payload, const BitmapRows& rows, const ByteSink& write);

// Holds the payload whole, then writes it a row at a time. kRefused for a
// bitmap it cannot show, which its description tells: compressed, without a
// standard header, without the palette or masks its pixels need, or without
// pixels at all.
class PngWriter final : public OutputWriter {
 public:
  // Writes the file through `buffer`.
  PngWriter(Platform& os, std::span<std::uint8_t> buffer) : os_(os), buffer_(buffer) {}

  Error Start(FileHandle file, const OpenedFile& source) override;
  Error Append(std::span<const std::uint8_t> bytes) override;
  Ending Finish(CarrierForm form) override;

 private:
  Error Write(const BitmapRows& rows);

  Platform& os_;
  std::span<std::uint8_t> buffer_;
  FileHandle file_ = kNoFile;
  HeldPayload payload_;
};
