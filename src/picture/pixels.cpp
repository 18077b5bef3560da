// The pixels under BMP headers of every version editors write.

#include "pixels.h"

#include <algorithm>
#include <bit>

namespace {

constexpr int kChannelBits = 8;

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

std::uint32_t ColourKey(Rgba colour) {
  return std::uint32_t{colour[0]} << 16 | std::uint32_t{colour[1]} << 8 | colour[2];
}

}  // namespace

bool PixelFormat::Open(const BmpHeader& header, std::span<const std::uint8_t> headers) {
  depth_ = header.depth;
  palette_.clear();
  firstIndex_.clear();
  channels_ = {};
  if (Indexed()) {
    const std::size_t start = header.HeadersEnd(), entry = header.PaletteEntry();
    const std::size_t held = headers.size() > start ? (headers.size() - start) / entry : 0;
    const std::size_t count = std::min(header.PaletteLength(), held);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* bytes = &headers[start + i * entry];
      palette_.push_back({bytes[2], bytes[1], bytes[0], kOpaque});
      firstIndex_.try_emplace(ColourKey(palette_.back()), static_cast<std::uint8_t>(i));
    }
    return true;
  }
  if (!header.masksHeld) return false;
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    const std::uint32_t mask = header.masks[i];
    channels_[i] = {mask, mask ? std::countr_zero(mask) : 0, header.ChannelBits(i)};
  }
  return true;
}

std::uint32_t PixelFormat::Load(const std::uint8_t* row, std::uint32_t x) const {
  if (Indexed()) {
    const std::uint64_t bit = std::uint64_t{x} * depth_;
    return row[bit / 8] >> (8 - depth_ - bit % 8) & ((1u << depth_) - 1);
  }
  const std::uint8_t* pixel = row + std::uint64_t{x} * (depth_ / 8);
  std::uint32_t value = 0;
  for (int i = depth_ / 8 - 1; i >= 0; --i) value = value << 8 | pixel[i];
  return value;
}

void PixelFormat::Store(std::uint8_t* row, std::uint32_t x, std::uint32_t value) const {
  if (Indexed()) {
    const std::uint64_t bit = std::uint64_t{x} * depth_;
    const int shift = static_cast<int>(8 - depth_ - bit % 8);
    const std::uint32_t mask = ((1u << depth_) - 1) << shift;
    row[bit / 8] = static_cast<std::uint8_t>((row[bit / 8] & ~mask) | (value << shift & mask));
    return;
  }
  std::uint8_t* pixel = row + std::uint64_t{x} * (depth_ / 8);
  for (int i = 0; i < depth_ / 8; ++i) pixel[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

Rgba PixelFormat::Colour(std::uint32_t value) const {
  if (Indexed()) return value < palette_.size() ? palette_[value] : Rgba{0, 0, 0, kOpaque};
  Rgba colour;
  for (std::size_t i = 0; i < colour.size(); ++i) {
    const Channel& c = channels_[i];
    colour[i] = Widen((value & c.mask) >> c.shift, c.bits);
  }
  if (!HasAlpha()) colour[3] = kOpaque;
  return colour;
}

std::optional<std::uint32_t> PixelFormat::ValueOf(Rgba colour, std::uint32_t old) const {
  if (Indexed()) {
    if (Colour(old) == colour) return old;
    const auto found = firstIndex_.find(ColourKey(colour));
    if (found == firstIndex_.end() || colour[3] != kOpaque) return std::nullopt;
    return found->second;
  }
  std::uint32_t value = old;
  for (std::size_t i = 0; i < colour.size(); ++i) {
    const Channel& c = channels_[i];
    value = (value & ~c.mask) | (Narrow(colour[i], c.bits) << c.shift & c.mask);
  }
  return value;
}

void PixelFormat::DecodeRow(const std::uint8_t* row, std::uint32_t width, std::uint8_t* out, int channels) const {
  // 24-bit rows, the game's most common, are blue, green, red bytes.
  if (depth_ == 24) {
    for (std::uint32_t x = 0; x < width; ++x, row += 3, out += channels) {
      out[0] = row[2], out[1] = row[1], out[2] = row[0];
      if (channels == 4) out[3] = kOpaque;
    }
    return;
  }
  for (std::uint32_t x = 0; x < width; ++x, out += channels) {
    const Rgba colour = Colour(Load(row, x));
    std::copy_n(colour.begin(), channels, out);
  }
}
