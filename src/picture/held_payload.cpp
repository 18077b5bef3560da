#include "held_payload.h"

#include <algorithm>
#include <new>

#include "../convert/bitmap_rows.h"

void HeldPayload::Start(std::uint64_t bound) {
  bytes_.clear();
  bound_ = bound;
}

Error HeldPayload::Append(std::span<const std::uint8_t> bytes) {
  const bool headComplete = bytes_.size() < bmp::kHeadersEnd && bytes_.size() + bytes.size() >= bmp::kHeadersEnd;
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  if (!headComplete) return {};
  // The file's size or the rows' end, whichever the header states and the
  // source can hold; a payload that runs past it grows as it must.
  BitmapRows rows;
  const std::uint64_t fileSize = bmp::ReadU32(bytes_, bmp::kFileSize);
  const std::uint64_t rowsEnd = FindBitmapRows(bytes_, bound_, &rows) == Status::kOk
                                    ? rows.offset + rows.count * rows.stride : 0;
  const std::uint64_t room = std::min(bound_, std::max(fileSize, rowsEnd));
  if (room <= bytes_.size() || room > bytes_.max_size()) return {};
  // A header can claim more than the payload holds: without the room, the
  // payload grows as it comes.
  try {
    bytes_.reserve(static_cast<std::size_t>(room));
  } catch (const std::bad_alloc&) {
  }
  return {};
}
