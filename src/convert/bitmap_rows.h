// Where the carried bitmap's rows lie and where the conversion puts them, for
// the writer that places each row as the payload arrives.
#pragma once

#include <cstdint>
#include <span>

#include "bmp_header.h"
#include "error.h"

// How the carried bitmap is converted: kPlain, without a standard header,
// as 3-byte pixels from byte 54; kRows, by the rows its header describes;
// kCompressed, kept as it is carried.
enum class BitmapForm { kPlain, kRows, kCompressed };

// What a payload shows of itself, as far as it arrived.
struct BitmapInfo {
  std::uint64_t bytes = 0;  // the payload's length
  bool hasFields = false;   // whether the payload reaches past the bitmap's size fields
  std::int32_t width = 0;
  std::int32_t height = 0;
  BitmapForm form = BitmapForm::kPlain;
  BmpHeader header;                   // kRows and kCompressed: what the headers say
  std::uint64_t rowBytes = 0;         // a row in the payload
  std::uint64_t writtenRowBytes = 0;  // a row in the output
};

// Row r of the payload, `stride` bytes at offset + r x stride, becomes output
// row r, or count - 1 - r when `reverse`, at offset + that x outStride, with
// zeros after it up to outStride. Bytes before `offset` keep their places;
// those after the last row move on by Growth().
struct BitmapRows {
  BitmapForm form = BitmapForm::kPlain;
  std::uint64_t offset = 0;
  std::uint64_t count = 0;  // 0: nothing moves
  std::uint64_t stride = 0;
  std::uint64_t outStride = 0;
  bool reverse = false;

  bool operator==(const BitmapRows&) const = default;
  // Packed rows are padded on the way out, and the header's sizes follow.
  bool Padded() const { return outStride != stride; }
  std::uint64_t Growth() const { return count * (outStride - stride); }
};

// Finds the rows of a payload from its first bytes, `head`, which hold at
// least min(size, bmp::kHeadersEnd) of them. `size` is the payload's length,
// or while it is still arriving a bound on it; the rows found fit within it.
// kDamaged when no rows fit, or a plain header's width is negative.
Status FindBitmapRows(std::span<const std::uint8_t> head, std::uint64_t size, BitmapRows* rows);

// Fills in what a payload of `size` bytes, whose first bytes are `head`,
// shows of itself, its rows found as `rows`.
BitmapInfo DescribeBitmap(std::span<const std::uint8_t> head, std::uint64_t size, const BitmapRows& rows);

// The sizes a padded output's header states for a payload of `size` bytes,
// put into its first bytes, `head`: each 0 where it does not fit the field.
void PutPaddedSizes(std::span<std::uint8_t> head, const BitmapRows& rows, std::uint64_t size);

// Reverses the order of `count` adjacent rows of `rowBytes` each at `first`.
void ReverseBitmapRows(std::uint8_t* first, std::uint64_t rowBytes, std::uint64_t count);

