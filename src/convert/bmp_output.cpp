// The payload on its way to the staging file. Bytes before the rows keep
// their offsets; each row goes where BitmapRows puts it, and the bytes after
// the last row follow the rows' end. A full buffer goes out up to its last
// whole row, and the row its end cuts waits for the next, so the whole rows
// are reordered in the buffer and written with one call: a block takes one
// write, the first one more for the part before the rows. Only a row wider
// than the buffer goes out in parts. Rows that are padded on the way out are
// gathered with their padding.

#include <algorithm>
#include <cstring>
#include <utility>

#include "bmp_output.h"

Error BmpOutput::Start(OutputTarget& target, const PayloadBound& bound) {
  if (pass_++ > 0) {
    exact_ = PayloadSize();
    earlierEnd_ = writtenEnd_;
  }
  target_ = &target;
  bound_ = bound;
  held_ = 0;
  flushed_ = 0;
  rows_ = {};
  fits_ = true;
  sizesPut_ = false;
  needsSecondPass_ = false;
  gathered_.emplace(target, gathering_);
  return {};
}

Error BmpOutput::Append(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (held_ == buffer_.size()) {
      if (Error e = Flush(false)) return e;
    }
    const std::size_t take = std::min(bytes.size(), buffer_.size() - held_);
    std::memcpy(buffer_.data() + held_, bytes.data(), take);
    held_ += take;
    bytes = bytes.subspan(take);
  }
  return {};
}

Ending BmpOutput::Finish() {
  Ending ending(Finished());
  ending.needsSecondPass = needsSecondPass_;
  ending.bitmap = Describe();
  return ending;
}

Error BmpOutput::Finished() {
  const Error damaged{Status::kDamaged, Step::kReadSource};
  if (flushed_ == 0) {
    // All of it is here, so its length is known exactly.
    const std::span<std::uint8_t> payload = buffer_.first(held_);
    if (FindBitmapRows(payload, held_, &rows_) != Status::kOk) return damaged;
    if (!rows_.Padded()) {
      if (rows_.reverse) ReverseBitmapRows(payload.data() + rows_.offset, rows_.stride, rows_.count);
      return Write(0, payload.data(), payload.size()) ? Error{} : WriteFailed();
    }
    PutSizes(payload);
    return Place(held_) && WriteGathered() ? Error{} : WriteFailed();
  }
  BitmapRows exact;
  if (!fits_ || FindBitmapRows(std::span(head_).first(headSize_), PayloadSize(), &exact) != Status::kOk)
    return damaged;
  if (exact != rows_) {
    // Only a first pass can be misled so; after it the bound is exact.
    if (pass_ > 1) return damaged;
    needsSecondPass_ = true;
    return {};
  }
  if (Error e = Flush(true)) return e;
  // A second pass writes over all the first one did, unless the source
  // changed in between.
  if (OutputSize() < earlierEnd_) return damaged;
  if (!rows_.Padded()) return {};
  if (sizesPut_) return WriteGathered() ? Error{} : WriteFailed();
  // The sizes lie in the part before the rows, which went out as it came.
  std::array<std::uint8_t, bmp::kHeadersEnd> head;
  std::copy_n(head_.begin(), head.size(), head.begin());
  PutSizes(head);
  const std::size_t end = bmp::kImageSize + 4;
  const bool written = WriteGathered() &&
                       Write(bmp::kFileSize, &head[bmp::kFileSize], end - bmp::kFileSize) && WriteGathered();
  return written ? Error{} : WriteFailed();
}

Error BmpOutput::Flush(bool whole) {
  if (flushed_ == 0) {
    std::uint64_t bound = pass_ > 1 ? exact_ : bound_.size;
    if (pass_ == 1 && bound_.source != kNoFile) {
      const Result<std::uint64_t> size = os_.FileSize(bound_.source);
      if (!size.Ok()) return {Status::kIoError, Step::kReadSource, size.error};
      // A source that grew while it was read may hold more than it said.
      bound = std::max<std::uint64_t>(size.value, held_);
    }
    headSize_ = std::min(held_, head_.size());
    std::copy_n(buffer_.begin(), headSize_, head_.begin());
    fits_ = FindBitmapRows(std::span(head_).first(headSize_), bound, &rows_) == Status::kOk;
    // Where the payload's size is known, the sizes go out right the first
    // time, so that each byte is written once, as a comparison needs.
    sizesPut_ = fits_ && rows_.Padded() && (pass_ > 1 || bound_.source == kNoFile);
    if (sizesPut_) PutPaddedSizes(buffer_.first(held_), rows_, bound);
  }
  const std::size_t size = whole || !fits_ ? held_ : WholeRows();
  // Rows that cannot fit make the payload unsupported, so nothing is placed.
  const bool placed = !fits_ || Place(size);
  std::memmove(buffer_.data(), buffer_.data() + size, held_ - size);
  flushed_ += size;
  held_ -= size;
  return placed ? Error{} : WriteFailed();
}

// The bytes of the buffer up to its last whole row, or all of them where
// the rows do not end in it or no row ends within it.
std::size_t BmpOutput::WholeRows() const {
  const std::uint64_t rowsEnd = rows_.offset + rows_.count * rows_.stride, end = flushed_ + held_;
  if (end <= rows_.offset || end >= rowsEnd) return held_;
  const std::uint64_t cut = rows_.offset + (end - rows_.offset) / rows_.stride * rows_.stride;
  return cut > flushed_ ? static_cast<std::size_t>(cut - flushed_) : held_;
}

// Places the buffer's first `size` bytes.
bool BmpOutput::Place(std::size_t size) {
  const std::uint64_t rowsEnd = rows_.offset + rows_.count * rows_.stride;
  const std::uint64_t end = flushed_ + size;
  std::uint8_t* data = buffer_.data();
  for (std::uint64_t pos = flushed_; pos < end;) {
    std::uint64_t part;
    bool placed;
    if (pos < rows_.offset) {
      part = std::min(end, rows_.offset) - pos;
      placed = Write(pos, data, part);
    } else if (pos >= rowsEnd) {
      part = end - pos;
      placed = Write(pos + rows_.Growth(), data, part);
    } else {
      const std::uint64_t row = (pos - rows_.offset) / rows_.stride;
      const std::uint64_t column = (pos - rows_.offset) % rows_.stride;
      const std::uint64_t whole = column ? 0 : std::min((end - pos) / rows_.stride, rows_.count - row);
      if (whole > 0) {
        part = whole * rows_.stride;
        placed = PlaceRows(row, whole, data);
      } else {
        part = std::min(rows_.stride - column, end - pos);
        placed = Write(OutRow(row) + column, data, part) && (column + part < rows_.stride || Pad(row));
      }
    }
    if (!placed) return false;
    data += part;
    pos += part;
  }
  return true;
}

// Rows first to first + count - 1, held whole at `data`, in the output's order.
bool BmpOutput::PlaceRows(std::uint64_t first, std::uint64_t count, std::uint8_t* data) {
  const std::uint64_t last = first + count - 1;
  if (!rows_.Padded()) {
    if (rows_.reverse) ReverseBitmapRows(data, rows_.stride, count);
    return Write(OutRow(rows_.reverse ? last : first), data, count * rows_.stride);
  }
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t row = rows_.reverse ? last - i : first + i;
    if (!Write(OutRow(row), data + (row - first) * rows_.stride, rows_.stride) || !Pad(row)) return false;
  }
  return true;
}

bool BmpOutput::Pad(std::uint64_t row) {
  return !rows_.Padded() || Write(OutRow(row) + rows_.stride, nullptr, rows_.outStride - rows_.stride);
}

std::uint64_t BmpOutput::OutRow(std::uint64_t row) const {
  return rows_.offset + (rows_.reverse ? rows_.count - 1 - row : row) * rows_.outStride;
}

// Writes `size` bytes of `data`, or zeros for nullptr, at `offset`: at once,
// or gathered while writes meet end to end.
bool BmpOutput::Write(std::uint64_t offset, const std::uint8_t* data, std::uint64_t size) {
  writtenEnd_ = std::max(writtenEnd_, offset + size);
  if (!rows_.Padded()) {
    writeError_ = target_->WriteAt(offset, {data, static_cast<std::size_t>(size)});
  } else if (!(writeError_ = gathered_->MoveTo(offset))) {
    writeError_ = data ? gathered_->Put({data, static_cast<std::size_t>(size)}) : gathered_->PutZeros(size);
  }
  return !writeError_;
}

bool BmpOutput::WriteGathered() {
  writeError_ = gathered_->Flush();
  return !writeError_;
}

void BmpOutput::PutSizes(std::span<std::uint8_t> head) const { PutPaddedSizes(head, rows_, PayloadSize()); }

BitmapInfo BmpOutput::Describe() const {
  const std::span<const std::uint8_t> head =
      flushed_ ? std::span<const std::uint8_t>(head_).first(headSize_) : buffer_.first(std::min(held_, head_.size()));
  return DescribeBitmap(head, PayloadSize(), rows_);
}
