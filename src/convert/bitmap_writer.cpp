// The payload on its way to the staging file. Bytes before the rows and after
// the last one keep their offsets; row r of the payload goes where row
// count - 1 - r starts. Runs of whole rows are reversed in the buffer and
// written with one call, so a flush makes at most five writes: the part
// before the rows, a partial row, the whole rows, a partial row, the rest.

#include <algorithm>
#include <cstring>

#include "bitmap_rows.h"
#include "file_io.h"

Status BitmapWriter::Append(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (held_ == buffer_.size()) {
      if (Status s = Flush(); s != Status::kOk) return s;
    }
    const std::size_t take = std::min(bytes.size(), buffer_.size() - held_);
    std::memcpy(buffer_.data() + held_, bytes.data(), take);
    held_ += take;
    bytes = bytes.subspan(take);
  }
  return Status::kOk;
}

Status BitmapWriter::Finish() {
  if (flushed_ == 0) {
    const std::span<std::uint8_t> payload = buffer_.first(held_);
    if (Status s = ReverseBitmapRows(payload); s != Status::kOk) return s;
    return Write(0, payload.data(), payload.size()) ? Status::kOk : Status::kIoError;
  }
  BitmapRows rows;
  if (!fits_ || FindBitmapRows(head_, flushed_ + held_, &rows) != Status::kOk) return Status::kUnsupported;
  return Flush();
}

Status BitmapWriter::Flush() {
  if (flushed_ == 0) {
    const std::int64_t size = os_.FileSize(source_);
    if (size < 0) return Status::kIoError;
    std::copy_n(buffer_.begin(), head_.size(), head_.begin());
    // A source that grew while it was read may hold more than it said.
    const std::uint64_t limit = std::max<std::uint64_t>(static_cast<std::uint64_t>(size), held_);
    fits_ = FindBitmapRows(head_, limit, &rows_) == Status::kOk;
  }
  // Rows that cannot fit make the payload unsupported, so nothing is placed.
  const bool placed = !fits_ || Place();
  flushed_ += held_;
  held_ = 0;
  return placed ? Status::kOk : Status::kIoError;
}

bool BitmapWriter::Place() {
  const std::uint64_t rowsEnd = rows_.offset + rows_.count * rows_.bytes;
  const std::uint64_t end = flushed_ + held_;
  std::uint8_t* data = buffer_.data();
  for (std::uint64_t pos = flushed_; pos < end;) {
    std::uint64_t at = pos, size;
    if (pos < rows_.offset) {
      size = std::min(end, rows_.offset) - pos;
    } else if (pos >= rowsEnd) {
      size = end - pos;
    } else {
      const std::uint64_t row = (pos - rows_.offset) / rows_.bytes;
      const std::uint64_t column = (pos - rows_.offset) % rows_.bytes;
      const std::uint64_t whole = column ? 0 : std::min((end - pos) / rows_.bytes, rows_.count - row);
      if (whole > 0) {
        ReverseRows(data, rows_.bytes, whole);
        at = rows_.offset + (rows_.count - row - whole) * rows_.bytes;
        size = whole * rows_.bytes;
      } else {
        at = rows_.offset + (rows_.count - 1 - row) * rows_.bytes + column;
        size = std::min(rows_.bytes - column, end - pos);
      }
    }
    if (!Write(at, data, size)) return false;
    data += size;
    pos += size;
  }
  return true;
}

bool BitmapWriter::Write(std::uint64_t offset, const std::uint8_t* data, std::uint64_t size) {
  if (file_ == kNoFile || WriteAllAt(os_, file_, offset, data, size)) return true;
  written_ = false;
  return false;
}

void BitmapWriter::Describe(Carrier* carrier) const {
  carrier->bytes = flushed_ + held_;
  carrier->hasFields = carrier->bytes >= kBitmapFieldsEnd;
  if (!carrier->hasFields) return;
  const std::span<const std::uint8_t> head =
      flushed_ ? std::span<const std::uint8_t>(head_) : buffer_.first(head_.size());
  carrier->width = ReadInt32(head, kWidthOffset);
  carrier->height = ReadInt32(head, kHeightOffset);
}
