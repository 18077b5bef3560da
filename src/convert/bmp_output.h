// The BMP output: the payload written as it arrives, each row where a BMP
// reader expects it. The one maker of BMP bytes, whether they go to a file
// or are compared with one that stands.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "bitmap_rows.h"
#include "file_io.h"
#include "output_writer.h"

// Writes a payload as it arrives, each row where the conversion puts it, so
// that the output holds the converted bitmap when the payload ends. A
// payload that fits `buffer` is written in one call where its rows keep
// their size, a larger one a buffer at a time; the buffer holds at least
// bmp::kHeadersEnd bytes, and `gathering` as many for rows padded on the way
// out. Once the payload outgrows the buffer, rows claimed
// past the source's size cannot fit, so they are never written, however far
// off they claim to lie; rows found packed only at the payload's end, under
// sizes stated for padded ones, take a second pass.
class BmpOutput final : public OutputWriter {
 public:
  BmpOutput(Platform& os, std::span<std::uint8_t> buffer, std::span<std::uint8_t> gathering)
      : os_(os), buffer_(buffer), gathering_(gathering) {}

  Error Start(OutputTarget& target, const PayloadBound& bound) override;
  Error Append(std::span<const std::uint8_t> bytes) override;
  // kDamaged, with the output incomplete, when the rows do not fit the
  // payload, or the source changed between two passes.
  Ending Finish() override;

  std::uint64_t PayloadSize() const { return flushed_ + held_; }
  std::uint64_t OutputSize() const { return PayloadSize() + rows_.Growth(); }

 private:
  Error Finished();
  BitmapInfo Describe() const;
  // Places what the buffer holds: all of it, or up to its last whole row.
  Error Flush(bool whole);
  std::size_t WholeRows() const;
  bool Place(std::size_t size);
  bool PlaceRows(std::uint64_t first, std::uint64_t count, std::uint8_t* data);
  bool Pad(std::uint64_t row);
  std::uint64_t OutRow(std::uint64_t row) const;
  bool Write(std::uint64_t offset, const std::uint8_t* data, std::uint64_t size);
  bool WriteGathered();
  void PutSizes(std::span<std::uint8_t> head) const;
  Error WriteFailed() const { return {Status::kIoError, Step::kWriteOutput, writeError_}; }

  Platform& os_;
  std::span<std::uint8_t> buffer_;
  OutputTarget* target_ = nullptr;
  PayloadBound bound_;
  int pass_ = 0;
  std::uint64_t exact_ = 0;       // after the first pass, the payload's size
  std::uint64_t earlierEnd_ = 0;  // one past the last byte the first pass wrote
  std::size_t held_ = 0;          // bytes in the buffer
  std::uint64_t flushed_ = 0;     // payload bytes before the buffer's first
  std::array<std::uint8_t, bmp::kHeadersMax> head_{};  // the payload's first bytes, once it outgrew the buffer
  std::size_t headSize_ = 0;
  BitmapRows rows_;
  bool fits_ = true;              // the claimed rows fit within the bound
  bool sizesPut_ = false;         // the header's padded sizes went out with it
  bool needsSecondPass_ = false;
  SystemError writeError_;
  std::uint64_t writtenEnd_ = 0;  // one past the last byte written
  // Padded rows are gathered with what meets them end to end, so that they
  // take no more writes than rows written as they came.
  std::span<std::uint8_t> gathering_;
  std::optional<BufferedOutput> gathered_;
};
