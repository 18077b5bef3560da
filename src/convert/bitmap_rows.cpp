// Where a carried bitmap's rows lie.
//
// A standard header (a version the format defines, one plane, a positive
// width, the pixels after the headers, an uncompressed depth) tells the
// rows' depth and start. They lie at one of two strides: packed, the bytes
// the pixels need, or padded to a multiple of 4 as BMP files have them; the
// header's size fields tell which where they can, and the rows come out
// padded either way. Compressed rows cannot be moved, so they stay as they
// are. Any other payload is read as the game's tools wrote it: 3 bytes a
// pixel, rows of exactly 3 x width bytes from byte 54, whatever the header says.

#include <algorithm>
#include <cstring>
#include <limits>

#include "bitmap_rows.h"

namespace {

constexpr std::uint64_t kPlainPixelOffset = 54;
constexpr std::uint64_t kPlainBytesPerPixel = 3;
constexpr std::uint16_t kAssumedPackedDepth = 24;

// Whether a payload of `size` bytes has a standard header, one whose rows
// are found from it; kCompressed rows are only kept.
BitmapForm ClassifyHeader(std::span<const std::uint8_t> head, std::uint64_t size, BmpHeader* header) {
  if (size < bmp::kHeadersEnd || ReadBmpHeader(head, header) != BmpRead::kOk) return BitmapForm::kPlain;
  const BmpHeader& h = *header;
  if (!h.version.read || h.version.core || h.planes != 1 || h.width <= 0 || h.pixelOffset < h.HeadersEnd())
    return BitmapForm::kPlain;
  if (IsCompressed(h.compression)) return BitmapForm::kCompressed;
  return DepthFits(h.compression, h.depth) ? BitmapForm::kRows : BitmapForm::kPlain;
}

// Whether `count` rows of `stride` from `offset` end within `size`.
bool Fits(std::uint64_t offset, std::uint64_t count, std::uint64_t stride, std::uint64_t size) {
  return offset <= size && (count == 0 || (size - offset) / stride >= count);
}

// Rows as the game's tools laid them out, exactly as conversions always took them.
Status FindPlainRows(std::span<const std::uint8_t> head, std::uint64_t size, BitmapRows* rows) {
  if (size < bmp::kSizeFieldsEnd) return Status::kOk;
  const std::int32_t width = bmp::ReadI32(head, bmp::kWidth);
  const std::int32_t height = bmp::ReadI32(head, bmp::kHeight);
  if (height <= 0 || width == 0) return Status::kOk;
  if (width < 0) return Status::kDamaged;
  // Both factors are below 2^32, so the product cannot overflow 64 bits.
  const std::uint64_t rowBytes = kPlainBytesPerPixel * static_cast<std::uint64_t>(width);
  const auto count = static_cast<std::uint64_t>(height);
  if (!Fits(kPlainPixelOffset, count, rowBytes, size)) return Status::kDamaged;
  *rows = {BitmapForm::kPlain, kPlainPixelOffset, count, rowBytes, rowBytes, true};
  return Status::kOk;
}

Status FindStandardRows(const BmpHeader& header, std::uint64_t size, BitmapRows* rows) {
  const std::uint64_t offset = header.pixelOffset;
  const std::uint64_t count = header.Rows();
  // Rows below 2^33 bytes, images of at most 2^31 of them below
  // 2^64 - 2^33, so no sum or product below wraps.
  const std::uint64_t packed = header.PackedStride(), padded = header.Stride();
  const auto states = [&](std::uint64_t stride) {
    return header.imageSize == count * stride || header.fileSize == offset + count * stride;
  };
  std::uint64_t stride = padded;
  if (states(packed) || (!states(padded) && header.depth == kAssumedPackedDepth && offset == kPlainPixelOffset))
    stride = packed;
  // Sizes stated for padded rows over packed ones that only fit so.
  if (!Fits(offset, count, stride, size)) {
    if (stride == packed || !Fits(offset, count, packed, size)) return Status::kDamaged;
    stride = packed;
  }
  *rows = {BitmapForm::kRows, offset, count, stride, padded, !header.TopDown()};
  return Status::kOk;
}

}  // namespace

Status FindBitmapRows(std::span<const std::uint8_t> head, std::uint64_t size, BitmapRows* rows) {
  *rows = {};
  BmpHeader header;
  switch (ClassifyHeader(head, size, &header)) {
    case BitmapForm::kPlain: return FindPlainRows(head, size, rows);
    case BitmapForm::kRows: return FindStandardRows(header, size, rows);
    case BitmapForm::kCompressed: break;
  }
  rows->form = BitmapForm::kCompressed;
  return Status::kOk;
}

void PutPaddedSizes(std::span<std::uint8_t> head, const BitmapRows& rows, std::uint64_t size) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
  const std::uint64_t fileSize = size + rows.Growth(), imageSize = rows.count * rows.outStride;
  bmp::PutU32(head, bmp::kFileSize, static_cast<std::uint32_t>(fileSize <= kMax ? fileSize : 0));
  bmp::PutU32(head, bmp::kImageSize, static_cast<std::uint32_t>(imageSize <= kMax ? imageSize : 0));
}

void ReverseBitmapRows(std::uint8_t* first, std::uint64_t rowBytes, std::uint64_t count) {
  if (count < 2) return;
  std::uint8_t* top = first;
  std::uint8_t* bottom = first + (count - 1) * rowBytes;
  for (; top < bottom; top += rowBytes, bottom -= rowBytes)
    std::swap_ranges(top, top + rowBytes, bottom);
}

BitmapInfo DescribeBitmap(std::span<const std::uint8_t> head, std::uint64_t size, const BitmapRows& rows) {
  BitmapInfo info;
  info.bytes = size;
  info.hasFields = size >= bmp::kSizeFieldsEnd;
  if (!info.hasFields) return info;
  info.width = bmp::ReadI32(head, bmp::kWidth);
  info.height = bmp::ReadI32(head, bmp::kHeight);
  info.form = rows.form;
  if (info.form != BitmapForm::kPlain) ReadBmpHeader(head, &info.header);
  info.rowBytes = rows.stride;
  info.writtenRowBytes = rows.outStride;
  return info;
}
