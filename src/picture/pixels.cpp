// Which pixel lies where: row y from the top is the payload's row y, since
// the game stores rows top-down under a positive height and a standard
// top-down bitmap does so under a negative one. A channel narrower than 8
// bits shows its value scaled to 255 and rounded down, as common BMP readers
// show it, and takes a colour rounded to the nearest value it holds.

#include "pixels.h"

#include <algorithm>
#include <bit>

namespace {

constexpr std::uint32_t kRgb555[] = {0x7C00, 0x03E0, 0x001F, 0};
constexpr std::uint32_t kRgb888[] = {0xFF0000, 0x00FF00, 0x0000FF, 0};
constexpr int kChannelBits = 8;
constexpr std::uint8_t kOpaque = 255;

std::uint8_t Widen(std::uint32_t value, int bits) {
  if (bits == 0) return 0;
  if (bits >= kChannelBits) return static_cast<std::uint8_t>(value >> (bits - kChannelBits));
  return static_cast<std::uint8_t>(value * 255 / ((1u << bits) - 1));
}

std::uint32_t Narrow(std::uint8_t value, int bits) {
  if (bits >= kChannelBits) return std::uint32_t{value} << (bits - kChannelBits);
  const std::uint32_t most = (1u << bits) - 1;
  return (value * most + 127) / 255;
}

std::uint32_t ColourKey(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return std::uint32_t{red} << 16 | std::uint32_t{green} << 8 | blue;
}

}  // namespace

bool BitmapPixels::Open(std::span<std::uint8_t> payload, const BitmapRows& rows) {
  payload_ = payload;
  rows_ = rows;
  width_ = static_cast<std::uint32_t>(bmp::ReadI32(payload, bmp::kWidth));
  const std::uint32_t infoSize = bmp::ReadU32(payload, bmp::kInfoSize);
  if (rows.bitsPerPixel <= kChannelBits) {
    // As many entries as the header says, the depth allows and fit before the pixels.
    const std::size_t start = bmp::kFileHeaderSize + infoSize;
    const std::uint32_t most = 1u << rows.bitsPerPixel, used = bmp::ReadU32(payload, bmp::kColorsUsed);
    const std::uint64_t count = std::min<std::uint64_t>({used && used < most ? used : most,
                                                         (rows.offset - start) / bmp::kPaletteEntry});
    palette_ = payload.subspan(start, count * bmp::kPaletteEntry);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* entry = &palette_[i * bmp::kPaletteEntry];
      indices_.try_emplace(ColourKey(entry[2], entry[1], entry[0]), static_cast<std::uint8_t>(i));
    }
    return true;
  }
  if (rows.compression == bmp::kRgb) {
    SetMasks(rows.bitsPerPixel == 16 ? kRgb555 : kRgb888);
    return true;
  }
  // Bitfields: the masks follow a 40-byte header or lie in a larger one.
  const bool alpha = rows.compression == bmp::kAlphaBitfields || infoSize >= bmp::kAlphaMaskInfoSize;
  const std::size_t count = alpha ? 4 : 3;
  if (bmp::kMasks + 4 * count > rows.offset) return false;
  std::uint32_t masks[4] = {};
  for (std::size_t i = 0; i < count; ++i) masks[i] = bmp::ReadU32(payload, bmp::kMasks + 4 * i);
  SetMasks(masks);
  return true;
}

void BitmapPixels::SetMasks(std::span<const std::uint32_t> masks) {
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    const std::uint32_t mask = masks[i];
    const int shift = mask ? std::countr_zero(mask) : 0;
    channels_[i] = {mask, shift, std::popcount(mask)};
  }
}

std::uint32_t BitmapPixels::Load(std::uint32_t x, std::uint32_t y) const {
  const std::uint8_t* row = Row(y);
  const int depth = rows_.bitsPerPixel;
  if (depth <= kChannelBits) {
    const std::uint64_t bit = std::uint64_t{x} * depth;
    return row[bit / 8] >> (8 - depth - bit % 8) & ((1u << depth) - 1);
  }
  const std::uint8_t* pixel = row + std::uint64_t{x} * (depth / 8);
  std::uint32_t value = 0;
  for (int i = depth / 8 - 1; i >= 0; --i) value = value << 8 | pixel[i];
  return value;
}

void BitmapPixels::Store(std::uint32_t x, std::uint32_t y, std::uint32_t value) {
  std::uint8_t* row = Row(y);
  const int depth = rows_.bitsPerPixel;
  if (depth <= kChannelBits) {
    const std::uint64_t bit = std::uint64_t{x} * depth;
    const int shift = static_cast<int>(8 - depth - bit % 8);
    const std::uint32_t mask = ((1u << depth) - 1) << shift;
    row[bit / 8] = static_cast<std::uint8_t>((row[bit / 8] & ~mask) | (value << shift & mask));
    return;
  }
  std::uint8_t* pixel = row + std::uint64_t{x} * (depth / 8);
  for (int i = 0; i < depth / 8; ++i) pixel[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Rgba BitmapPixels::Get(std::uint32_t x, std::uint32_t y) const {
  const std::uint32_t value = Load(x, y);
  if (rows_.bitsPerPixel <= kChannelBits) {
    // An index past the palette shows black, as readers show it.
    if (value * bmp::kPaletteEntry >= palette_.size()) return {0, 0, 0, kOpaque};
    const std::uint8_t* entry = &palette_[value * bmp::kPaletteEntry];
    return {entry[2], entry[1], entry[0], kOpaque};
  }
  Rgba colour;
  for (std::size_t i = 0; i < colour.size(); ++i) {
    const Channel& c = channels_[i];
    colour[i] = Widen((value & c.mask) >> c.shift, c.bits);
  }
  if (!HasAlpha()) colour[3] = kOpaque;
  return colour;
}

void BitmapPixels::GetRow(std::uint32_t y, std::uint8_t* out, int channels) const {
  // Plain 24-bit rows, the game's most common, are blue, green, red bytes.
  if (IsBgr() && channels == 3) {
    const std::uint8_t* in = Row(y);
    for (std::uint32_t x = 0; x < width_; ++x, in += 3, out += 3) out[0] = in[2], out[1] = in[1], out[2] = in[0];
    return;
  }
  for (std::uint32_t x = 0; x < width_; ++x, out += channels) {
    const Rgba colour = Get(x, y);
    std::copy_n(colour.begin(), channels, out);
  }
}

BitmapPixels::Stored BitmapPixels::Put(std::uint32_t x, std::uint32_t y, Rgba colour) {
  const std::uint32_t old = Load(x, y);
  std::uint32_t value = old;
  if (rows_.bitsPerPixel <= kChannelBits) {
    const auto found = indices_.find(ColourKey(colour[0], colour[1], colour[2]));
    if (found == indices_.end()) return Stored::kNotInPalette;
    value = found->second;
  } else {
    for (std::size_t i = 0; i < colour.size(); ++i) {
      const Channel& c = channels_[i];
      value = (value & ~c.mask) | (Narrow(colour[i], c.bits) << c.shift & c.mask);
    }
  }
  if (value == old) return Stored::kSame;
  Store(x, y, value);
  return Stored::kChanged;
}
