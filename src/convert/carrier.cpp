#include "carrier.h"

#include <algorithm>

#include "carrier_writer.h"

namespace {

// The payload gathered in memory as it arrives. Room is taken once the
// header tells how much the payload holds, so that memory follows the
// payload, not the length of the file it came in, nor what a header claims.
class Gathered final : public PayloadSink {
 public:
  Gathered(std::vector<std::uint8_t>& bytes, std::uint64_t bound) : bytes_(bytes), bound_(bound) { bytes_.clear(); }

  Error Append(std::span<const std::uint8_t> bytes) override {
    const bool headComplete = bytes_.size() < bmp::kHeadersEnd && bytes_.size() + bytes.size() >= bmp::kHeadersEnd;
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    if (headComplete) Reserve();
    return {};
  }

 private:
  // The file's size or the rows' end, whichever the header states and the
  // source can hold; a payload that runs past it grows as it must.
  void Reserve() {
    BitmapRows rows;
    const std::uint64_t fileSize = bmp::ReadU32(bytes_, bmp::kFileSize);
    const std::uint64_t rowsEnd =
        FindBitmapRows(bytes_, bound_, &rows) == Status::kOk ? rows.offset + rows.count * rows.stride : 0;
    const std::uint64_t room = std::min(bound_, std::max(fileSize, rowsEnd));
    if (room <= bytes_.size() || room > bytes_.max_size()) return;
    // A header can claim more than memory holds: then the payload grows as it comes.
    try {
      bytes_.reserve(static_cast<std::size_t>(room));
    } catch (const std::bad_alloc&) {
    }
  }

  std::vector<std::uint8_t>& bytes_;
  std::uint64_t bound_;
};

}  // namespace

Error CarrierFile::Open(const NativeString& path, Shape shape) {
  const Result<OpenedFile> opened = os_.OpenForRead(path);
  if (!opened.Ok()) return {Status::kUnsupported, Step::kOpenSource, opened.error};
  file_.Reset(opened.value.handle);
  stamp_ = opened.value.stamp;
  shape_ = shape;
  held_ = false;
  return {};
}

Ending CarrierFile::Pour(OutputTarget& target, OutputWriter& writer, std::span<std::uint8_t> buffer) {
  if (held_) return PourPayload(payload_, target, writer);
  Ending ending;
  do {
    if (Error e = writer.Start(target, {file_.get(), stamp_.size})) return e;
    if (Error e = ExtractPayload(os_, file_.get(), writer, &form_, buffer, shape_)) return e;
    ending = writer.Finish();
  } while (!ending.error && ending.needsSecondPass);
  return ending;
}

Error CarrierFile::Hold(std::span<std::uint8_t> buffer) {
  Gathered gathered(payload_, stamp_.size);
  if (Error e = ExtractPayload(os_, file_.get(), gathered, &form_, buffer, shape_)) return e;
  held_ = true;
  const Status found = FindBitmapRows(payload_, payload_.size(), &rows_);
  bitmap_ = DescribeBitmap(payload_, payload_.size(), rows_);
  return found == Status::kOk ? Error{} : Error{Status::kDamaged, Step::kReadSource};
}

Error CarrierFile::WriteWith(std::span<const std::uint8_t> payload, FileHandle out, std::span<std::uint8_t> buffer) {
  // The payload came from the carrier as it was; its rest is copied now.
  const Result<FileStamp> now = os_.Stamp(file_.get());
  if (!now.Ok()) return {Status::kIoError, Step::kReadSource, now.error};
  if (now.value != stamp_) return {Status::kRefused};
  if (const SystemError error = os_.CopyPermissions(stamp_, out)) return {Status::kIoError, Step::kWriteOutput, error};
  const std::size_t half = buffer.size() / 2;
  return WriteCarrier(os_, opened(), form_, payload_.size(), payload, out, buffer.first(half), buffer.subspan(half));
}

Error CarrierFile::Close() {
  const SystemError error = file_.Close();
  return error ? Error{Status::kIoError, Step::kReadSource, error} : Error{};
}
