// BMP headers of every version editors write, and the pixels under them.

#include "pixels.h"

#include <algorithm>
#include <bit>

namespace {

constexpr std::uint32_t kCoreInfoSize = 12;  // widths and heights of 16 bits, 3-byte palette entries
constexpr std::uint32_t kInfoSizes[] = {kCoreInfoSize, 40, 52, 56, 108, 124};
constexpr std::size_t kCoreWidth = 18, kCoreHeight = 20, kCoreBitCount = 24;
constexpr std::size_t kCorePaletteEntry = 3;

constexpr std::uint32_t kRgb555[] = {0x7C00, 0x03E0, 0x001F, 0};
constexpr std::uint32_t kRgb888[] = {0xFF0000, 0x00FF00, 0x0000FF, 0};
constexpr int kChannelBits = 8;

bool DepthFits(std::uint16_t depth, std::uint32_t compression) {
  switch (compression) {
    case bmp::kRgb: return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
    case bmp::kRle8: return depth == 8;
    case bmp::kRle4: return depth == 4;
    case bmp::kBitfields:
    case bmp::kAlphaBitfields: return depth == 16 || depth == 32;
  }
  return false;
}

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

bool ReadBmpHeader(std::span<const std::uint8_t> head, BmpHeader* header) {
  if (head.size() < bmp::kFileHeaderSize + 4 || head[0] != 'B' || head[1] != 'M') return false;
  BmpHeader h;
  h.infoSize = bmp::ReadU32(head, bmp::kInfoSize);
  if (std::find(std::begin(kInfoSizes), std::end(kInfoSizes), h.infoSize) == std::end(kInfoSizes) ||
      head.size() < bmp::kFileHeaderSize + h.infoSize)
    return false;
  h.pixelOffset = bmp::ReadU32(head, bmp::kPixelOffset);
  if (h.infoSize == kCoreInfoSize) {
    h.width = bmp::ReadU16(head, kCoreWidth);
    h.height = bmp::ReadU16(head, kCoreHeight);
    h.depth = bmp::ReadU16(head, kCoreBitCount);
    h.paletteEntry = kCorePaletteEntry;
  } else {
    const std::int32_t width = bmp::ReadI32(head, bmp::kWidth), height = bmp::ReadI32(head, bmp::kHeight);
    if (width < 0 || height == INT32_MIN) return false;
    h.width = static_cast<std::uint32_t>(width);
    h.topDown = height < 0;
    h.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
    h.depth = bmp::ReadU16(head, bmp::kBitCount);
    h.compression = bmp::ReadU32(head, bmp::kCompression);
    h.colorsUsed = bmp::ReadU32(head, bmp::kColorsUsed);
  }
  if (!DepthFits(h.depth, h.compression) || h.pixelOffset < bmp::kFileHeaderSize + h.infoSize) return false;
  *header = h;
  return true;
}

std::size_t PaletteLength(const BmpHeader& header) {
  if (header.depth > PixelFormat::kIndexedDepth) return 0;
  const std::size_t start = bmp::kFileHeaderSize + header.infoSize;
  const std::uint32_t most = 1u << header.depth, used = header.colorsUsed;
  return std::min<std::size_t>(used && used < most ? used : most,
                               header.pixelOffset > start ? (header.pixelOffset - start) / header.paletteEntry : 0);
}

bool PixelFormat::Open(const BmpHeader& header, std::span<const std::uint8_t> headers) {
  depth_ = header.depth;
  palette_.clear();
  firstIndex_.clear();
  channels_ = {};
  if (Indexed()) {
    const std::size_t start = bmp::kFileHeaderSize + header.infoSize;
    const std::size_t held = headers.size() > start ? (headers.size() - start) / header.paletteEntry : 0;
    const std::size_t count = std::min(PaletteLength(header), held);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* entry = &headers[start + i * header.paletteEntry];
      palette_.push_back({entry[2], entry[1], entry[0], kOpaque});
      firstIndex_.try_emplace(ColourKey(palette_.back()), static_cast<std::uint8_t>(i));
    }
    return true;
  }
  if (header.compression == bmp::kRgb) {
    SetMasks(depth_ == 16 ? kRgb555 : kRgb888);
    return true;
  }
  // The masks follow a 40-byte header or lie in a larger one, always from
  // the same offset; an alpha mask from the 56-byte version on.
  const bool alpha = header.compression == bmp::kAlphaBitfields || header.infoSize >= bmp::kAlphaMaskInfoSize;
  const std::size_t count = alpha ? 4 : 3;
  if (bmp::kMasks + 4 * count > std::min<std::size_t>(header.pixelOffset, headers.size())) return false;
  std::uint32_t masks[4] = {};
  for (std::size_t i = 0; i < count; ++i) masks[i] = bmp::ReadU32(headers, bmp::kMasks + 4 * i);
  SetMasks(masks);
  return true;
}

void PixelFormat::SetMasks(std::span<const std::uint32_t> masks) {
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    // Pixels hold no bits past their depth, whatever a mask claims.
    const std::uint32_t mask = depth_ < 32 ? masks[i] & ((1u << depth_) - 1) : masks[i];
    const int shift = mask ? std::countr_zero(mask) : 0;
    channels_[i] = {mask, shift, mask ? static_cast<int>(std::bit_width(mask >> shift)) : 0};
  }
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

bool BitmapPixels::Open(std::span<std::uint8_t> payload, const BitmapRows& rows) {
  payload_ = payload;
  rows_ = rows;
  BmpHeader header;
  if (rows.form != BitmapForm::kRows || !ReadBmpHeader(payload, &header)) return false;
  width_ = header.width;
  return format_.Open(header, payload.first(std::min<std::size_t>(payload.size(), rows.offset)));
}

