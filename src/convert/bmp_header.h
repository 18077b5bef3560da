// The BMP file format, read in one place: where the headers' fields lie
// (from the file's or payload's first byte, all little-endian), the header
// versions and compressions the format defines, and what a file's first
// bytes say of it. The carried bitmap, a BMP picture and the reports all
// read their headers here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace bmp {

inline constexpr std::uint8_t kSignature[2] = {'B', 'M'};  // at the file's start
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
// The oldest header's fields: width and height of 16 bits, no compression.
inline constexpr std::size_t kCoreWidth = 18, kCoreHeight = 20, kCorePlanes = 22, kCoreBitCount = 24;

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
// What compressions 3 and 4 mean under an OS/2 2.x header instead.
inline constexpr std::uint32_t kOs2Huffman1D = 3;
inline constexpr std::uint32_t kOs2Rle24 = 4;

// A 32-bit pixel's fourth byte, which uncompressed pixels leave unused.
inline constexpr std::uint32_t kFourthByte = 0xFF000000;

// The bytes of a palette entry: blue, green, red and one unused, or the
// first three alone under the oldest header.
inline constexpr std::size_t kPaletteEntry = 4;
inline constexpr std::size_t kCorePaletteEntry = 3;

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

// A version of the information header, known by its size.
struct BmpVersion {
  std::uint32_t size = 0;
  bool core = false;       // 16-bit width and height, 3-byte palette entries
  bool alphaMask = false;  // holds an alpha mask beside the colour masks
  bool read = false;       // a version whose pixels are read here; the others are OS/2 2.x's
};

// What a bitmap's headers say.
struct BmpHeader {
  BmpVersion version;
  std::int32_t width = 0;   // as stored; the oldest version's are never negative
  std::int32_t height = 0;  // negative for rows stored top-down
  std::uint16_t planes = 0;
  std::uint16_t depth = 0;
  std::uint32_t compression = bmp::kRgb;
  std::uint32_t pixelOffset = 0;
  std::uint32_t fileSize = 0;
  std::uint32_t imageSize = 0;
  std::uint32_t colorsUsed = 0;
  // Red, green, blue and alpha: stated, or the format's own for an
  // uncompressed bitmap of 16 bits or more; only bits a pixel holds.
  std::array<std::uint32_t, 4> masks{};
  bool masksHeld = false;  // the masks the pixels need lie before them, in the bytes read
  // The alpha mask a header of 56 bytes or more names over uncompressed
  // pixels, whose own masks hold none: GIMP writes one and means it. 0
  // where none is named, or it takes bits of a colour or past the depth.
  std::uint32_t namedAlpha = 0;

  std::uint32_t HeadersEnd() const { return static_cast<std::uint32_t>(bmp::kFileHeaderSize) + version.size; }
  bool TopDown() const { return height < 0; }
  std::uint32_t Rows() const { return height < 0 ? 0u - static_cast<std::uint32_t>(height) : static_cast<std::uint32_t>(height); }
  bool Indexed() const { return depth <= kMostIndexedDepth; }
  bool HasAlpha() const { return masks[3] != 0; }
  // The bits of red, green, blue or alpha, from the mask's lowest set bit to its highest.
  int ChannelBits(std::size_t channel) const;
  std::size_t PaletteEntry() const { return version.core ? bmp::kCorePaletteEntry : bmp::kPaletteEntry; }
  // How many palette entries the header gives: as many as it says, the
  // depth allows and fit before the pixels.
  std::size_t PaletteLength() const;
  // A row of `width` pixels as the format lays it out, padded to 32 bits,
  // and with just the bytes its pixels take.
  std::uint64_t Stride() const;
  std::uint64_t PackedStride() const;

  static constexpr int kMostIndexedDepth = 8;
};

enum class BmpRead {
  kOk,
  kNotBmp,          // no "BM" signature
  kCutShort,        // the bytes end inside the fields read
  kUnknownVersion,  // an information header of no size the format defines
};

// Reads the headers from `head`, a file's first bytes; up to
// bmp::kHeadersMax of them are looked at, and only the fields up to the
// depth and compression need be there, so that a cut file still tells what
// it is. The masks are read where `head` holds them.
BmpRead ReadBmpHeader(std::span<const std::uint8_t> head, BmpHeader* header);

// Whether the format allows `depth` under `compression`.
bool DepthFits(std::uint32_t compression, std::uint16_t depth);

// Whether the rows are coded in a way that forbids moving them: RLE, or
// JPEG or PNG inside.
bool IsCompressed(std::uint32_t compression);

// Why a BMP's pixels are not read here, where the format, or an older
// version of it, defines them.
enum class BmpUnsupported {
  kNone,
  kTwoBit,
  kSixtyFourBit,
  kOtherDepth,   // a depth no compression takes
  kOs2Header,    // an OS/2 2.x information header
  kHuffman1D,    // compression 3 under an OS/2 2.x header
  kRle24,        // compression 4 under an OS/2 2.x header
  kJpeg,         // a JPEG file inside
  kPng,          // a PNG file inside
  kCompression,  // a compression the format does not define
};

// The form of `header` the format defines but this does not read, if any.
// A header whose depth does not fit its compression is none: it is damaged.
BmpUnsupported UnsupportedForm(const BmpHeader& header);

// Whether the pixels under `header` are read here: a version whose pixels
// are, uncompressed or RLE at a depth the format allows, the pixels after
// the headers, a width that is not negative.
bool PixelsReadable(const BmpHeader& header);
