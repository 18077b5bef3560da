// Where the carried bitmap's rows lie, for the reversal in memory and for
// the writer that puts each row in its place as the payload arrives.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "convert.h"

// The bytes the row reversal moves: `count` rows of `bytes` each from byte
// `offset` of the payload. No rows when nothing moves.
struct BitmapRows {
  std::uint64_t offset = 0;
  std::uint64_t bytes = 0;
  std::uint64_t count = 0;
};

// The bitmap's size fields; payloads shorter than their end have no rows to move.
inline constexpr std::size_t kWidthOffset = 18;
inline constexpr std::size_t kHeightOffset = 22;
inline constexpr std::uint64_t kBitmapFieldsEnd = 26;

// The little-endian signed 32-bit field at `offset`.
std::int32_t ReadInt32(std::span<const std::uint8_t> bytes, std::size_t offset);

// Finds the rows of a payload of `size` bytes from its first bytes, `head`,
// which hold at least min(size, kBitmapFieldsEnd) of them. kUnsupported,
// exactly when ReverseBitmapRows refuses the payload.
Status FindBitmapRows(std::span<const std::uint8_t> head, std::uint64_t size, BitmapRows* rows);

// Reverses the order of `count` adjacent rows of `rowBytes` each at `first`.
void ReverseRows(std::uint8_t* first, std::uint64_t rowBytes, std::uint64_t count);

// Writes a payload to `file` as it arrives, each row where it lies once the
// rows are reversed, so that the file holds the converted bitmap when the
// payload ends. A payload that fits `buffer` is written in one call, a larger
// one a buffer at a time; the buffer holds at least kBitmapFieldsEnd bytes.
// With kNoFile it only checks.
class BitmapWriter final : public PayloadSink {
 public:
  // The payload comes from `source` and is never longer: once it outgrows
  // the buffer, rows claimed past the source's size cannot fit, so they are
  // never written, however far off they claim to lie.
  BitmapWriter(Platform& os, FileHandle file, std::span<std::uint8_t> buffer, FileHandle source)
      : os_(os), file_(file), buffer_(buffer), source_(source) {}

  // kIoError when a write fails, or the source's size cannot be had.
  Status Append(std::span<const std::uint8_t> bytes) override;
  // Writes what is still held once the payload has ended. kUnsupported,
  // with the file incomplete, when the rows do not fit the payload.
  Status Finish();
  // False after a write has failed.
  bool Written() const { return written_; }
  // Fills in the payload's length and size fields, as far as they arrived.
  void Describe(Carrier* carrier) const;

 private:
  Status Flush();
  bool Place();
  bool Write(std::uint64_t offset, const std::uint8_t* data, std::uint64_t size);

  Platform& os_;
  FileHandle file_;
  std::span<std::uint8_t> buffer_;
  FileHandle source_;
  std::size_t held_ = 0;         // bytes in the buffer
  std::uint64_t flushed_ = 0;    // payload bytes before the buffer's first
  std::array<std::uint8_t, kBitmapFieldsEnd> head_{};
  BitmapRows rows_;
  bool fits_ = true;             // the claimed rows fit within the source
  bool written_ = true;
};
