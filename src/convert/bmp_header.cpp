#include "bmp_header.h"

#include <algorithm>
#include <bit>
#include <climits>

namespace {

// Every information header the format defines. Those of OS/2 2.x, 16 to
// 64 bytes long, are known so that they can be named, but not read.
constexpr BmpVersion kVersions[] = {
    {12, true, false, true},    // BITMAPCOREHEADER
    {16, false, false, false},  // OS/2 2.x, cut to its first fields
    {40, false, false, true},   // BITMAPINFOHEADER
    {52, false, false, true},   // with the colour masks
    {56, false, true, true},    // with the alpha mask too
    {64, false, false, false},  // OS/2 2.x
    {108, false, true, true},   // BITMAPV4HEADER
    {124, false, true, true},   // BITMAPV5HEADER
};

// The depths each compression allows, as many as `count`.
struct Depths {
  std::uint32_t compression;
  std::size_t count;
  std::uint16_t depths[6];
};
constexpr Depths kDepths[] = {
    {bmp::kRgb, 6, {1, 4, 8, 16, 24, 32}},
    {bmp::kRle8, 1, {8}},
    {bmp::kRle4, 1, {4}},
    {bmp::kBitfields, 2, {16, 32}},
    {bmp::kJpeg, 1, {0}},
    {bmp::kPng, 1, {0}},
    {bmp::kAlphaBitfields, 2, {16, 32}},
};

// The masks of uncompressed pixels of 16 bits and more.
constexpr std::array<std::uint32_t, 4> kRgb555 = {0x7C00, 0x03E0, 0x001F, 0};
constexpr std::array<std::uint32_t, 4> kRgb888 = {0xFF0000, 0x00FF00, 0x0000FF, 0};
constexpr std::size_t kMaskBytes = 4;

// Reads the masks the pixels need: the format's own, or those the header
// states after its 40 bytes, which the later versions hold in that place.
void ReadMasks(std::span<const std::uint8_t> head, BmpHeader* h) {
  h->masksHeld = true;
  if (h->Indexed()) return;
  if (h->compression == bmp::kRgb) {
    h->masks = h->depth == 16 ? kRgb555 : kRgb888;
  } else if (h->compression == bmp::kBitfields || h->compression == bmp::kAlphaBitfields) {
    const bool alpha = h->compression == bmp::kAlphaBitfields || h->version.alphaMask;
    const std::size_t end = bmp::kMasks + kMaskBytes * (alpha ? 4 : 3);
    h->masksHeld = end <= std::min<std::size_t>(h->pixelOffset, head.size());
    if (!h->masksHeld) return;
    for (std::size_t i = 0; i < (alpha ? 4u : 3u); ++i) h->masks[i] = bmp::ReadU32(head, bmp::kMasks + kMaskBytes * i);
  }
  // Pixels hold no bits past their depth, whatever a mask claims.
  const std::uint32_t depthBits = h->depth < 32 ? (1u << h->depth) - 1 : ~0u;
  for (std::uint32_t& mask : h->masks) mask &= depthBits;
  const std::size_t alphaAt = bmp::kMasks + kMaskBytes * 3;
  if (h->compression == bmp::kRgb && h->version.alphaMask &&
      alphaAt + kMaskBytes <= std::min<std::size_t>(h->pixelOffset, head.size())) {
    const std::uint32_t alpha = bmp::ReadU32(head, alphaAt);
    if ((alpha & ~depthBits) == 0 && (alpha & (h->masks[0] | h->masks[1] | h->masks[2])) == 0) h->namedAlpha = alpha;
  }
}

}  // namespace

int BmpHeader::ChannelBits(std::size_t channel) const {
  const std::uint32_t mask = masks[channel];
  return mask ? static_cast<int>(std::bit_width(mask >> std::countr_zero(mask))) : 0;
}

std::size_t BmpHeader::PaletteLength() const {
  if (!Indexed()) return 0;
  const std::uint32_t most = 1u << depth;
  const std::uint64_t room = pixelOffset > HeadersEnd() ? (pixelOffset - HeadersEnd()) / PaletteEntry() : 0;
  return static_cast<std::size_t>(std::min<std::uint64_t>(colorsUsed && colorsUsed < most ? colorsUsed : most, room));
}

// Width below 2^31 at 32 bits a pixel: rows below 2^33 bytes.
std::uint64_t BmpHeader::Stride() const {
  return (PackedStride() + bmp::kRowAlignment - 1) / bmp::kRowAlignment * bmp::kRowAlignment;
}

std::uint64_t BmpHeader::PackedStride() const {
  return (static_cast<std::uint64_t>(std::max(width, 0)) * depth + 7) / 8;
}

BmpRead ReadBmpHeader(std::span<const std::uint8_t> head, BmpHeader* header) {
  head = head.first(std::min(head.size(), bmp::kHeadersMax));
  if (head.size() < sizeof bmp::kSignature) return BmpRead::kCutShort;
  if (!std::equal(std::begin(bmp::kSignature), std::end(bmp::kSignature), head.begin())) return BmpRead::kNotBmp;
  if (head.size() < bmp::kInfoSize + 4) return BmpRead::kCutShort;
  const std::uint32_t size = bmp::ReadU32(head, bmp::kInfoSize);
  const auto version = std::find_if(std::begin(kVersions), std::end(kVersions),
                                    [&](const BmpVersion& v) { return v.size == size; });
  if (version == std::end(kVersions)) return BmpRead::kUnknownVersion;
  BmpHeader h;
  h.version = *version;
  // The fields up to the compression, and those that follow it as far as
  // the version has them.
  if (head.size() < std::min<std::size_t>(h.HeadersEnd(), bmp::kHeadersEnd)) return BmpRead::kCutShort;
  const auto field = [&](std::size_t offset) { return offset + 4 <= h.HeadersEnd() ? bmp::ReadU32(head, offset) : 0; };
  h.fileSize = bmp::ReadU32(head, bmp::kFileSize);
  h.pixelOffset = bmp::ReadU32(head, bmp::kPixelOffset);
  if (h.version.core) {
    h.width = bmp::ReadU16(head, bmp::kCoreWidth);
    h.height = bmp::ReadU16(head, bmp::kCoreHeight);
    h.planes = bmp::ReadU16(head, bmp::kCorePlanes);
    h.depth = bmp::ReadU16(head, bmp::kCoreBitCount);
  } else {
    h.width = bmp::ReadI32(head, bmp::kWidth);
    h.height = bmp::ReadI32(head, bmp::kHeight);
    h.planes = bmp::ReadU16(head, bmp::kPlanes);
    h.depth = bmp::ReadU16(head, bmp::kBitCount);
    h.compression = field(bmp::kCompression);
    h.imageSize = field(bmp::kImageSize);
    h.colorsUsed = field(bmp::kColorsUsed);
  }
  ReadMasks(head, &h);
  *header = h;
  return BmpRead::kOk;
}

bool DepthFits(std::uint32_t compression, std::uint16_t depth) {
  for (const Depths& row : kDepths) {
    if (row.compression == compression) return std::find(row.depths, row.depths + row.count, depth) != row.depths + row.count;
  }
  return false;
}

bool IsCompressed(std::uint32_t compression) {
  return compression == bmp::kRle8 || compression == bmp::kRle4 || compression == bmp::kJpeg ||
         compression == bmp::kPng;
}

BmpUnsupported UnsupportedForm(const BmpHeader& header) {
  if (!header.version.read) {
    if (header.compression == bmp::kOs2Huffman1D) return BmpUnsupported::kHuffman1D;
    if (header.compression == bmp::kOs2Rle24) return BmpUnsupported::kRle24;
    return BmpUnsupported::kOs2Header;
  }
  if (header.compression == bmp::kJpeg) return BmpUnsupported::kJpeg;
  if (header.compression == bmp::kPng) return BmpUnsupported::kPng;
  const auto defined = [&](const Depths& row) { return row.compression == header.compression; };
  if (std::none_of(std::begin(kDepths), std::end(kDepths), defined)) return BmpUnsupported::kCompression;
  // Uncompressed pixels take every depth any compression does.
  if (DepthFits(bmp::kRgb, header.depth)) return BmpUnsupported::kNone;
  if (header.depth == 2) return BmpUnsupported::kTwoBit;
  if (header.depth == 64) return BmpUnsupported::kSixtyFourBit;
  return BmpUnsupported::kOtherDepth;
}

bool PixelsReadable(const BmpHeader& header) {
  return header.version.read && DepthFits(header.compression, header.depth) && header.compression != bmp::kJpeg &&
         header.compression != bmp::kPng && header.pixelOffset >= header.HeadersEnd() && header.width >= 0 &&
         header.height != INT32_MIN;
}
