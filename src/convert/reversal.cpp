// Row reversal of the carried bitmap.
//
// The payload is read as a BMP with a 14-byte file header and a 40-byte
// information header, 3 bytes a pixel and rows of exactly 3 x width bytes
// starting at byte 54, whatever the headers say of pixel offset, bit count or
// row padding. Only the rows move; headers and any bytes after the last row
// stay where they are.

#include <algorithm>

#include "convert.h"
#include "bitmap_rows.h"

namespace {

constexpr std::uint64_t kPixelOffset = 54;
constexpr std::uint64_t kBytesPerPixel = 3;

}  // namespace

std::int32_t ReadInt32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  const std::uint32_t value = bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
                              std::uint32_t{bytes[offset + 3]} << 24;
  return static_cast<std::int32_t>(value);
}

Status FindBitmapRows(std::span<const std::uint8_t> head, std::uint64_t size, BitmapRows* rows) {
  *rows = {};
  if (size < kBitmapFieldsEnd) return Status::kOk;
  const std::int32_t width = ReadInt32(head, kWidthOffset);
  const std::int32_t height = ReadInt32(head, kHeightOffset);
  if (height <= 0 || width == 0) return Status::kOk;
  if (width < 0) return Status::kUnsupported;

  // Both factors are below 2^32, so neither product can overflow 64 bits.
  const std::uint64_t rowBytes = kBytesPerPixel * static_cast<std::uint64_t>(width);
  const std::uint64_t count = static_cast<std::uint64_t>(height);
  if (size < kPixelOffset || (size - kPixelOffset) / rowBytes < count) return Status::kUnsupported;
  *rows = {kPixelOffset, rowBytes, count};
  return Status::kOk;
}

void ReverseRows(std::uint8_t* first, std::uint64_t rowBytes, std::uint64_t count) {
  if (count < 2) return;
  std::uint8_t* top = first;
  std::uint8_t* bottom = first + (count - 1) * rowBytes;
  for (; top < bottom; top += rowBytes, bottom -= rowBytes)
    std::swap_ranges(top, top + rowBytes, bottom);
}

Status ReverseBitmapRows(std::span<std::uint8_t> payload) {
  BitmapRows rows;
  if (Status s = FindBitmapRows(payload, payload.size(), &rows); s != Status::kOk) return s;
  ReverseRows(payload.data() + rows.offset, rows.bytes, rows.count);
  return Status::kOk;
}
