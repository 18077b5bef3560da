// Where the carried bitmap's rows lie, for the reversal in memory and for
// the job's block-by-block read-back of large payloads alike.
#pragma once

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

// Payloads shorter than this have no rows to move.
inline constexpr std::uint64_t kBitmapFieldsEnd = 26;

// Finds the rows of a payload of `size` bytes from its first bytes, `head`,
// which hold at least min(size, kBitmapFieldsEnd) of them. kUnsupported,
// exactly when ReverseBitmapRows refuses the payload.
Status FindBitmapRows(std::span<const std::uint8_t> head, std::uint64_t size, BitmapRows* rows);

// Reverses the order of `count` adjacent rows of `rowBytes` each at `first`.
void ReverseRows(std::uint8_t* first, std::uint64_t rowBytes, std::uint64_t count);
