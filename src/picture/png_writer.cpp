#include "png_writer.h"

#include <algorithm>

#include "../convert/file_io.h"
#include "picture.h"
#include "pixels.h"

Error PngWriter::Start(FileHandle file, FileHandle source) {
  file_ = file;
  payload_.clear();
  rows_ = {};
  // The payload is never longer than its source, so it takes one allocation.
  const Result<std::uint64_t> size = os_.FileSize(source);
  if (!size.Ok()) return {Status::kIoError, Step::kReadSource, size.error};
  payload_.reserve(size.value);
  return {};
}

Error PngWriter::Append(std::span<const std::uint8_t> bytes) {
  payload_.insert(payload_.end(), bytes.begin(), bytes.end());
  return {};
}

Ending PngWriter::Finish(CarrierForm) {
  const Status found = FindBitmapRows(payload_, payload_.size(), &rows_);
  const BitmapInfo bitmap = DescribeBitmap(payload_, payload_.size(), rows_);
  Ending ending(found == Status::kOk ? Write() : Error{Status::kUnsupported, Step::kReadSource});
  ending.bitmap = bitmap;
  return ending;
}

Error PngWriter::Write() {
  BitmapPixels bitmap;
  if (rows_.form != BitmapForm::kRows || !bitmap.Open(payload_, rows_)) return {Status::kRefused};
  Picture picture;
  if (!picture.Allocate(bitmap.Width(), bitmap.Height(), bitmap.HasAlpha() ? 4 : 3)) return {Status::kOutOfMemory};
  for (std::uint32_t y = 0; y < picture.height; ++y) bitmap.GetRow(y, picture.Pixel(0, y), picture.channels);
  // The encoder needs as much memory again; the payload has served.
  std::vector<std::uint8_t>().swap(payload_);
  if (file_ == kNoFile) return {};
  std::uint64_t offset = 0;
  SystemError failed;
  const bool written = WritePng(picture, [&](std::span<const std::uint8_t> bytes) {
    failed = WriteAllAt(os_, file_, offset, bytes.data(), bytes.size());
    offset += bytes.size();
    return !failed;
  });
  if (failed) return {Status::kIoError, Step::kWriteOutput, failed};
  return written ? Error{} : Error{Status::kOutOfMemory};
}
