// The pixels of a carried bitmap with a standard header, read and written
// where its rows lie in the payload, in the bitmap's own form: palette
// indices, masked channels, or bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <unordered_map>

#include "../convert/bitmap_rows.h"

// Red, green, blue and alpha, 8 bits each.
using Rgba = std::array<std::uint8_t, 4>;

class BitmapPixels {
 public:
  // Over `payload`, whose rows `rows` found, of the kRows form. False when
  // its palette or masks are not all in the payload.
  bool Open(std::span<std::uint8_t> payload, const BitmapRows& rows);

  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return static_cast<std::uint32_t>(rows_.count); }
  // Whether the header gives an alpha mask.
  bool HasAlpha() const { return channels_[3].mask != 0; }

  // Pixel (x, y), counted from the top left: the colour it shows.
  Rgba Get(std::uint32_t x, std::uint32_t y) const;
  // Row y's colours into `out`, `channels` (3 or 4) bytes a pixel.
  void GetRow(std::uint32_t y, std::uint8_t* out, int channels) const;
  // Whether the pixels are plain blue, green and red bytes, as most are;
  // row y's bytes are then at Row(y).
  bool IsBgr() const { return rows_.bitsPerPixel == 24 && channels_[0].mask == 0xFF0000; }
  std::uint8_t* Row(std::uint32_t y) const { return payload_.data() + rows_.offset + y * rows_.stride; }
  enum class Stored { kChanged, kSame, kNotInPalette };
  // Stores `colour` at (x, y) in the bitmap's form, leaving bits no channel
  // uses as they were; stores nothing when the palette lacks it.
  Stored Put(std::uint32_t x, std::uint32_t y, Rgba colour);

 private:
  struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
  };
  void SetMasks(std::span<const std::uint32_t> masks);
  std::uint32_t Load(std::uint32_t x, std::uint32_t y) const;
  void Store(std::uint32_t x, std::uint32_t y, std::uint32_t value);

  std::span<std::uint8_t> payload_;
  BitmapRows rows_;
  std::uint32_t width_ = 0;
  std::array<Channel, 4> channels_{};
  std::span<const std::uint8_t> palette_;  // entries of blue, green, red, unused
  std::unordered_map<std::uint32_t, std::uint8_t> indices_;  // the first index of each colour
};
