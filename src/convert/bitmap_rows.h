// Where the carried bitmap's rows lie and where the conversion puts them, for
// the writer that places each row as the payload arrives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "bitmap_format.h"
#include "convert.h"

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
  std::uint16_t bitsPerPixel = 0;  // of a standard header
  std::uint32_t compression = 0;

  bool operator==(const BitmapRows&) const = default;
  // Packed rows are padded on the way out, and the header's sizes follow.
  bool Padded() const { return outStride != stride; }
  std::uint64_t Growth() const { return count * (outStride - stride); }
};

// Finds the rows of a payload from its first bytes, `head`, which hold at
// least min(size, bmp::kHeadersEnd) of them. `size` is the payload's length,
// or while it is still arriving a bound on it; the rows found fit within it.
// kUnsupported when no rows fit, or a plain header's width is negative.
Status FindBitmapRows(std::span<const std::uint8_t> head, std::uint64_t size, BitmapRows* rows);

// Fills in what a payload of `size` bytes, whose first bytes are `head`,
// shows of itself, its rows found as `rows`.
void DescribeBitmap(std::span<const std::uint8_t> head, std::uint64_t size, const BitmapRows& rows, Carrier* carrier);

// Reverses the order of `count` adjacent rows of `rowBytes` each at `first`.
void ReverseBitmapRows(std::uint8_t* first, std::uint64_t rowBytes, std::uint64_t count);

// Writes a payload as it arrives, each row where the conversion puts it, so
// that the output holds the converted bitmap when the payload ends. A
// payload that fits `buffer` is written in one call where its rows keep
// their size, a larger one a buffer at a time; the buffer holds at least
// bmp::kHeadersEnd bytes, and `gathering` as many for rows padded on the way
// out. Once the payload outgrows the buffer, rows claimed
// past the source's size cannot fit, so they are never written, however far
// off they claim to lie; rows found packed only at the payload's end, under
// sizes stated for padded ones, take a second pass.
class BitmapWriter final : public OutputWriter {
 public:
  BitmapWriter(Platform& os, std::span<std::uint8_t> buffer, std::span<std::uint8_t> gathering)
      : os_(os), buffer_(buffer), gathered_(gathering) {}

  Error Start(FileHandle file, FileHandle source) override;
  Error Append(std::span<const std::uint8_t> bytes) override;
  // kUnsupported, with the output incomplete, when the rows do not fit the
  // payload, or the source changed between two passes.
  Error Finish(CarrierForm form) override;
  bool Again() const override { return again_; }
  void Describe(Carrier* carrier) const override;

  // Hands what it would write to `target` instead, for a writer that works on.
  using Target = std::function<void(std::uint64_t offset, std::span<const std::uint8_t> bytes)>;
  void WriteTo(Target target) { target_ = std::move(target); }

  std::uint64_t PayloadSize() const { return flushed_ + held_; }
  std::uint64_t OutputSize() const { return PayloadSize() + rows_.Growth(); }

 private:
  Error Flush();
  bool Place();
  bool PlaceRows(std::uint64_t first, std::uint64_t count, std::uint8_t* data);
  bool Pad(std::uint64_t row);
  std::uint64_t OutRow(std::uint64_t row) const;
  bool Write(std::uint64_t offset, const std::uint8_t* data, std::uint64_t size);
  bool WriteGathered();
  bool WriteNow(std::uint64_t offset, const std::uint8_t* data, std::uint64_t size);
  void PutSizes(std::span<std::uint8_t> head) const;
  Error WriteFailed() const { return {Status::kIoError, Step::kWriteOutput, writeError_}; }

  Platform& os_;
  std::span<std::uint8_t> buffer_;
  FileHandle file_ = kNoFile;
  FileHandle source_ = kNoFile;
  int pass_ = 0;
  std::uint64_t bound_ = 0;       // after the first pass, the payload's size
  std::uint64_t earlierEnd_ = 0;  // one past the last byte the first pass wrote
  std::size_t held_ = 0;          // bytes in the buffer
  std::uint64_t flushed_ = 0;     // payload bytes before the buffer's first
  std::array<std::uint8_t, bmp::kHeadersEnd> head_{};
  BitmapRows rows_;
  bool fits_ = true;              // the claimed rows fit within the bound
  bool again_ = false;
  SystemError writeError_;
  std::uint64_t writtenEnd_ = 0;  // one past the last byte written
  Target target_;
  // Padded rows are gathered here with what meets them end to end, so that
  // they take no more writes than rows written as they came.
  std::span<std::uint8_t> gathered_;
  std::uint64_t gatheredAt_ = 0;
  std::size_t gatheredSize_ = 0;
};
