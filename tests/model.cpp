#include "model.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::uint8_t kGifHeader[19] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0,
                                         0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF};
constexpr std::uint8_t kImageDescriptor[11] = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2};
constexpr std::uint8_t kCommentIntroducer[2] = {0x21, 0xFE};
constexpr std::uint8_t kTrailer[2] = {0x00, 0x3B};
constexpr std::size_t kImageChainStart = 30, kCommentChainStart = 21;

Bytes CarrierHead(CarrierForm form) {
  Bytes out(std::begin(kGifHeader), std::end(kGifHeader));
  const std::span<const std::uint8_t> block =
      form == CarrierForm::kImage ? std::span<const std::uint8_t>(kImageDescriptor) : kCommentIntroducer;
  for (std::uint8_t byte : block) out.push_back(byte);
  return out;
}

// A row as the format defines it fills whole 32-bit words; written packed,
// it ends at its last pixel's byte.
std::uint64_t DefinedStride(std::int64_t width, std::uint16_t depth) { return (width * depth + 31) / 32 * 4; }
std::uint64_t PackedStride(std::int64_t width, std::uint16_t depth) { return (width * depth + 7) / 8; }

// Rows as the game's tools wrote them: 3-byte pixels from byte 54.
ModelResult ConvertPlain(std::span<const std::uint8_t> payload) {
  const ModelResult unchanged{Status::kOk, Bytes(payload.begin(), payload.end())};
  if (payload.size() < bmp::kSizeFieldsEnd) return unchanged;
  const std::int64_t width = bmp::ReadI32(payload, bmp::kWidth), height = bmp::ReadI32(payload, bmp::kHeight);
  if (height <= 0 || width == 0) return unchanged;
  if (width < 0) return {Status::kDamaged, {}};
  // 3 x (2^31 - 1)^2 still fits 64 bits.
  const std::uint64_t rowBytes = 3 * static_cast<std::uint64_t>(width);
  constexpr std::size_t kStart = bmp::kHeadersEnd;
  if (payload.size() < kStart || payload.size() - kStart < rowBytes * static_cast<std::uint64_t>(height))
    return {Status::kDamaged, {}};
  Bytes out = unchanged.bytes;
  for (std::int64_t r = 0; r < height; ++r)
    std::memcpy(&out[kStart + r * rowBytes], &payload[kStart + (height - 1 - r) * rowBytes], rowBytes);
  return {Status::kOk, out};
}

enum class Header { kPlain, kRows, kCompressed };

// The information headers the format defines, known by their size: the
// 12-byte BITMAPCOREHEADER of OS/2 1.x, with a width and height of 16 bits
// and no compression field; OS/2 2.x's, 16 to 64 bytes, whose compression
// codes 3 and 4 mean Huffman and RLE24 there; and Windows' own, every one
// BITMAPINFOHEADER's 40 bytes first, with width and height of 32 bits at
// bytes 18 and 22 of the file, planes at 26, bit count at 28, compression at 30:
// 40, the RGB masks added (52), the alpha mask too (56), V4's colour space
// (108) and V5's profile (124).
struct InfoHeader {
  std::uint32_t size;
  bool windows;  // BITMAPINFOHEADER's fields and compression codes
};
constexpr InfoHeader kInfoHeaders[] = {{12, false}, {16, false}, {40, true}, {52, true},
                                       {56, true},  {64, false}, {108, true}, {124, true}};

// The compressions Windows' headers name, and the bit counts the format
// allows with each: BI_RGB 1, 4, 8, 16, 24 or 32; BI_RLE8 8; BI_RLE4 4;
// BI_BITFIELDS and BI_ALPHABITFIELDS 16 or 32; BI_JPEG and BI_PNG 0, the
// picture's own file holding the rest.
enum Compression : std::uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5,
                                   kBiAlphaBitfields = 6 };
bool AllowedBitCount(std::uint32_t compression, std::uint16_t bits) {
  switch (compression) {
    case kBiRgb: return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    case kBiRle8: return bits == 8;
    case kBiRle4: return bits == 4;
    case kBiBitfields:
    case kBiAlphaBitfields: return bits == 16 || bits == 32;
    case kBiJpeg:
    case kBiPng: return bits == 0;
  }
  return false;
}

// Which payloads Quillane takes for a standard bitmap is its own choice, made
// here apart from the product's tables:
// - one of Windows' headers only: the game's tools read width and height as
//   32 bits at byte 18 and 22 whatever the size field says, so the 12-byte
//   core header, whose fields lie elsewhere, and OS/2 2.x's, whose codes mean
//   other things, are read as the game's tools read them;
// - one plane and a positive width, as every file the format describes has;
// - the pixels after the headers, where they cannot overlap them;
// - compressed rows (RLE, JPEG, PNG) kept as carried whatever the bit count
//   says, since they are never moved; others only at a bit count the format
//   allows for their compression.
Header Classify(std::span<const std::uint8_t> p) {
  constexpr std::size_t kFileHeader = 14;
  if (p.size() < kFileHeader + 40 || p[0] != 'B' || p[1] != 'M') return Header::kPlain;
  const std::uint32_t info = bmp::ReadU32(p, 14);
  const InfoHeader* known = std::find_if(std::begin(kInfoHeaders), std::end(kInfoHeaders),
                                         [&](const InfoHeader& h) { return h.size == info; });
  if (known == std::end(kInfoHeaders) || !known->windows) return Header::kPlain;
  const std::int32_t width = bmp::ReadI32(p, 18);
  const std::uint16_t planes = bmp::ReadU16(p, 26), bits = bmp::ReadU16(p, 28);
  const std::uint32_t compression = bmp::ReadU32(p, 30), pixels = bmp::ReadU32(p, 10);
  if (planes != 1 || width <= 0 || pixels < kFileHeader + info) return Header::kPlain;
  if (compression == kBiRle8 || compression == kBiRle4 || compression == kBiJpeg || compression == kBiPng)
    return Header::kCompressed;
  return AllowedBitCount(compression, bits) ? Header::kRows : Header::kPlain;
}

ModelResult ConvertRows(std::span<const std::uint8_t> p) {
  const std::int64_t width = bmp::ReadI32(p, bmp::kWidth), height = bmp::ReadI32(p, bmp::kHeight);
  const std::uint16_t depth = bmp::ReadU16(p, bmp::kBitCount);
  const std::uint64_t count = height < 0 ? -height : height, offset = bmp::ReadU32(p, bmp::kPixelOffset);
  const std::uint64_t padded = DefinedStride(width, depth), packed = PackedStride(width, depth);
  const std::uint64_t imageSize = bmp::ReadU32(p, bmp::kImageSize), fileSize = bmp::ReadU32(p, bmp::kFileSize);
  const auto end = [&](std::uint64_t s) { return offset + count * s; };
  const auto counted = [&](std::uint64_t s) { return imageSize == count * s || fileSize == end(s); };
  // The stride the header speaks for: one a size field counts, packed first
  // as only packed rows need saying; else the format's own, but for the
  // game's 24-bit rows from byte 54, which are packed. Of the two in that
  // order, the first the payload holds.
  const bool packedFirst = counted(packed) || (!counted(padded) && depth == 24 && offset == bmp::kHeadersEnd);
  const std::array<std::uint64_t, 2> order = packedFirst ? std::array{packed, padded} : std::array{padded, packed};
  const auto held = std::find_if(order.begin(), order.end(), [&](std::uint64_t s) { return end(s) <= p.size(); });
  if (held == order.end()) return {Status::kDamaged, {}};
  const std::uint64_t stride = *held;
  Bytes out(p.begin(), p.begin() + offset);
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t row = height > 0 ? count - 1 - i : i;
    out.insert(out.end(), p.begin() + offset + row * stride, p.begin() + offset + (row + 1) * stride);
    out.resize(out.size() + padded - stride);
  }
  out.insert(out.end(), p.begin() + end(stride), p.end());
  if (stride != padded) {
    const auto field = [](std::uint64_t v) { return static_cast<std::int32_t>(v <= 0xFFFFFFFFu ? v : 0); };
    PutInt32(out, bmp::kFileSize, field(out.size()));
    PutInt32(out, bmp::kImageSize, field(count * padded));
  }
  return {Status::kOk, out};
}

// Pseudo-random bytes from `seed`, the same for the same seed.
class Filler {
 public:
  explicit Filler(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  void Fill(Bytes& bytes, std::size_t from) {
    for (std::size_t i = from; i < bytes.size(); ++i) {
      state_ = state_ * 1103515245u + 12345u;
      bytes[i] = static_cast<std::uint8_t>(state_ >> 16);
    }
  }

 private:
  std::uint32_t state_;
};

std::uint64_t ImageSize(const BitmapShape& shape) {
  return (shape.packed ? PackedStride(shape.width, shape.depth) : DefinedStride(shape.width, shape.depth)) * static_cast<std::uint64_t>(std::abs(std::int64_t{shape.height}));
}

Bytes WriteHeader(const BitmapShape& shape, Filler& filler) {
  const std::uint64_t imageSize = ImageSize(shape);
  const std::size_t offset = bmp::kFileHeaderSize + shape.infoSize + shape.between;
  Bytes bmp(offset);
  filler.Fill(bmp, bmp::kFileHeaderSize + shape.infoSize);
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutInt32(bmp, bmp::kFileSize, shape.statedSizes ? static_cast<std::int32_t>(offset + imageSize) : 0);
  PutInt32(bmp, bmp::kPixelOffset, static_cast<std::int32_t>(offset));
  PutInt32(bmp, bmp::kInfoSize, static_cast<std::int32_t>(shape.infoSize));
  PutInt32(bmp, bmp::kWidth, shape.width);
  PutInt32(bmp, bmp::kHeight, shape.height);
  bmp[bmp::kPlanes] = 1;
  bmp[bmp::kBitCount] = static_cast<std::uint8_t>(shape.depth);
  PutInt32(bmp, bmp::kCompression, static_cast<std::int32_t>(shape.compression));
  PutInt32(bmp, bmp::kImageSize, shape.statedSizes ? static_cast<std::int32_t>(imageSize) : 0);
  return bmp;
}

}  // namespace

Bytes MakeBitmapHeader(const BitmapShape& shape, std::uint32_t seed) {
  Filler filler(seed);
  return WriteHeader(shape, filler);
}

Bytes MakeStandardBitmap(const BitmapShape& shape, std::uint32_t seed) {
  Filler filler(seed);
  Bytes bmp = WriteHeader(shape, filler);
  const std::size_t offset = bmp.size();
  bmp.resize(offset + ImageSize(shape));
  filler.Fill(bmp, offset);
  return bmp;
}

namespace {

// Where a standard bitmap's padded rows lie.
struct Rows {
  std::uint64_t offset, count, packed, padded;
};

Rows RowsOf(std::span<const std::uint8_t> bmp) {
  const std::int32_t width = bmp::ReadI32(bmp, bmp::kWidth);
  const std::uint16_t depth = bmp::ReadU16(bmp, bmp::kBitCount);
  return {bmp::ReadU32(bmp, bmp::kPixelOffset), static_cast<std::uint64_t>(std::abs(bmp::ReadI32(bmp, bmp::kHeight))),
          PackedStride(width, depth), DefinedStride(width, depth)};
}

}  // namespace

Bytes TopDown(std::span<const std::uint8_t> bmp) {
  const Rows rows = RowsOf(bmp);
  Bytes out(bmp.begin(), bmp.end());
  for (std::uint64_t r = 0; r < rows.count; ++r)
    std::memcpy(&out[rows.offset + r * rows.padded], &bmp[rows.offset + (rows.count - 1 - r) * rows.padded],
                rows.padded);
  PutInt32(out, bmp::kHeight, -bmp::ReadI32(bmp, bmp::kHeight));
  return out;
}

Bytes PackRows(std::span<const std::uint8_t> bmp, bool statedSizes) {
  const Rows rows = RowsOf(bmp);
  if (rows.offset + rows.count * rows.padded > bmp.size()) throw std::invalid_argument("rows to pack must be stored whole, not compressed");
  Bytes out(bmp.begin(), bmp.begin() + rows.offset);
  for (std::uint64_t r = 0; r < rows.count; ++r) {
    const auto row = bmp.begin() + rows.offset + r * rows.padded;
    out.insert(out.end(), row, row + rows.packed);
  }
  out.insert(out.end(), bmp.begin() + rows.offset + rows.count * rows.padded, bmp.end());
  PutInt32(out, bmp::kFileSize, statedSizes ? static_cast<std::int32_t>(out.size()) : 0);
  PutInt32(out, bmp::kImageSize, statedSizes ? static_cast<std::int32_t>(rows.count * rows.packed) : 0);
  return out;
}

void PutInt32(Bytes& bytes, std::size_t offset, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

Bytes MakeBitmap(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  return MakeStandardBitmap({.width = width, .height = height}, seed);
}

Bytes MakeRawCarrier(CarrierForm form, std::span<const Bytes> subBlocks) {
  Bytes out = CarrierHead(form);
  for (const Bytes& block : subBlocks) {
    out.push_back(static_cast<std::uint8_t>(block.size()));
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

Bytes MakeCarrier(std::span<const std::uint8_t> payload, CarrierForm form) {
  Bytes out = CarrierHead(form);
  std::size_t pos = 0;
  for (;;) {
    const std::size_t size = std::min<std::size_t>(255, payload.size() - pos);
    out.push_back(static_cast<std::uint8_t>(size));
    out.insert(out.end(), payload.begin() + pos, payload.begin() + pos + size);
    pos += size;
    if (size < 255) break;
  }
  out.insert(out.end(), std::begin(kTrailer), std::end(kTrailer));
  return out;
}

ModelResult ReferenceExtract(std::span<const std::uint8_t> file) {
  const ModelResult unsupported{Status::kUnsupported, {}};
  if (file.size() < 20) return unsupported;
  std::size_t pos;
  if (file[19] == kImageDescriptor[0]) {
    pos = kImageChainStart;
  } else if (file[19] == kCommentIntroducer[0] && file.size() > 20 && file[20] == kCommentIntroducer[1]) {
    pos = kCommentChainStart;
  } else {
    return unsupported;
  }
  // Once the probe has passed, a file that ends before its chain does is cut short.
  const ModelResult cutShort{Status::kCutShort, {}};
  ModelResult out{Status::kOk, {}};
  for (;;) {
    if (pos >= file.size()) return cutShort;
    const std::size_t size = file[pos++];
    if (file.size() - pos < size) return cutShort;
    out.bytes.insert(out.bytes.end(), file.begin() + pos, file.begin() + pos + size);
    pos += size;
    if (size < 255) return out;
  }
}

ModelResult ReferenceConvertPayload(std::span<const std::uint8_t> payload) {
  switch (Classify(payload)) {
    case Header::kPlain: return ConvertPlain(payload);
    case Header::kRows: return ConvertRows(payload);
    case Header::kCompressed: break;
  }
  return {Status::kOk, Bytes(payload.begin(), payload.end())};
}

ModelResult ReferenceConvert(std::span<const std::uint8_t> file) {
  const ModelResult extracted = ReferenceExtract(file);
  return extracted.status == Status::kOk ? ReferenceConvertPayload(extracted.bytes) : extracted;
}

Bytes ExpectedOutput(std::span<const std::uint8_t> payload) { return ReferenceConvertPayload(payload).bytes; }
