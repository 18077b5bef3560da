// The pixels of a BMP file in its own form: palette indices, or channels
// under masks. One model reads the carried bitmap and a BMP picture, so one
// stored value shows one colour both ways.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "../convert/bitmap_rows.h"

// Red, green, blue and alpha, 8 bits each.
using Rgba = std::array<std::uint8_t, 4>;
inline constexpr std::uint8_t kOpaque = 255;

// How stored values show as colours. A channel narrower than 8 bits shows its
// value scaled to 255 and rounded down, as common BMP readers show it, and
// takes a colour rounded to the nearest value it holds; a wider one shows
// its top 8 bits.
class PixelFormat {
 public:
  // From `header` and the file's bytes before its pixels, `headers`; false
  // when the masks are not all there.
  bool Open(const BmpHeader& header, std::span<const std::uint8_t> headers);

  int Depth() const { return depth_; }
  bool Indexed() const { return depth_ <= BmpHeader::kMostIndexedDepth; }
  bool HasAlpha() const { return channels_[3].mask != 0; }
  // The colours of the indices; an index past them shows black.
  const std::vector<Rgba>& Palette() const { return palette_; }
  // The bits of red, green, blue and alpha under masks.
  int ChannelBits(std::size_t channel) const { return channels_[channel].bits; }

  std::uint32_t Load(const std::uint8_t* row, std::uint32_t x) const;
  void Store(std::uint8_t* row, std::uint32_t x, std::uint32_t value) const;
  Rgba Colour(std::uint32_t value) const;
  // The stored value closest to `colour`, bits no channel uses taken from
  // `old`; for a palette, `old` when it shows the colour, else the first
  // index that does, or none.
  std::optional<std::uint32_t> ValueOf(Rgba colour, std::uint32_t old) const;
  // Row `row`'s first `width` pixels as RGB or RGBA, `channels` (3 or 4)
  // bytes each.
  void DecodeRow(const std::uint8_t* row, std::uint32_t width, std::uint8_t* out, int channels) const;

 private:
  struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;  // from the mask's lowest set bit to its highest
  };

  int depth_ = 0;
  std::array<Channel, 4> channels_{};
  std::vector<Rgba> palette_;
  std::unordered_map<std::uint32_t, std::uint8_t> firstIndex_;  // of each colour
};
