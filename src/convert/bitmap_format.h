// The BMP file as a carrier holds it: where its header fields lie, counted
// from the payload's first byte, all little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace bmp {

inline constexpr std::size_t kSignature = 0;     // "BM"
inline constexpr std::size_t kFileSize = 2;      // bfSize, u32
inline constexpr std::size_t kPixelOffset = 10;  // bfOffBits, u32
inline constexpr std::size_t kInfoSize = 14;     // biSize, u32
inline constexpr std::size_t kWidth = 18;        // i32
inline constexpr std::size_t kHeight = 22;       // i32
inline constexpr std::size_t kPlanes = 26;       // u16
inline constexpr std::size_t kBitCount = 28;     // u16
inline constexpr std::size_t kCompression = 30;  // u32
inline constexpr std::size_t kImageSize = 34;    // biSizeImage, u32
inline constexpr std::size_t kColorsUsed = 46;   // biClrUsed, u32
inline constexpr std::size_t kMasks = 54;        // red, green, blue and alpha masks, u32 each

inline constexpr std::size_t kFileHeaderSize = 14;
// Where a bitmap with a 40-byte information header starts its pixels, and
// the most of the header any decision reads.
inline constexpr std::size_t kHeadersEnd = 54;
// The most bytes any version of the headers takes: a 124-byte one after the
// file header, which also covers the masks after a 40-byte one.
inline constexpr std::size_t kHeadersMax = 138;
// A payload shorter than this has no size fields at all.
inline constexpr std::size_t kSizeFieldsEnd = kHeight + 4;

inline constexpr std::uint32_t kRgb = 0;
inline constexpr std::uint32_t kRle8 = 1;
inline constexpr std::uint32_t kRle4 = 2;
inline constexpr std::uint32_t kBitfields = 3;
inline constexpr std::uint32_t kJpeg = 4;
inline constexpr std::uint32_t kPng = 5;
inline constexpr std::uint32_t kAlphaBitfields = 6;

// The smallest information header that holds an alpha mask, and the bytes
// of a palette entry (blue, green, red, unused).
inline constexpr std::uint32_t kAlphaMaskInfoSize = 56;
inline constexpr std::size_t kPaletteEntry = 4;

// Rows of a standard bitmap start on a multiple of this many bytes.
inline constexpr std::uint64_t kRowAlignment = 4;

inline std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
         std::uint32_t{bytes[offset + 3]} << 24;
}

inline std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

inline std::int32_t ReadI32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::int32_t>(ReadU32(bytes, offset));
}

inline void PutU32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace bmp
