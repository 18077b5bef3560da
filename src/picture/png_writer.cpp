#include "png_writer.h"

#include <algorithm>
#include <cstring>

#include "../convert/file_io.h"
#include "pixels.h"
#include "png_picture.h"

Error PngWriter::Start(FileHandle file, FileHandle source) {
  file_ = file;
  return payload_.Start(os_, source);
}

Error PngWriter::Append(std::span<const std::uint8_t> bytes) {
  payload_.Append(bytes);
  return {};
}

Ending PngWriter::Finish(CarrierForm) {
  const std::span<std::uint8_t> payload = payload_.Bytes();
  BitmapRows rows;
  const Status found = FindBitmapRows(payload, payload.size(), &rows);
  Ending ending(found == Status::kOk ? Write(rows) : Error{Status::kUnsupported, Step::kReadSource});
  ending.bitmap = DescribeBitmap(payload, payload.size(), rows);
  payload_.Release();
  return ending;
}

Error PngWriter::Write(const BitmapRows& rows) {
  BitmapPixels bitmap;
  if (!bitmap.Open(payload_.Bytes(), rows) || bitmap.Width() == 0 || bitmap.Height() == 0) return {Status::kRefused};
  if (file_ == kNoFile) return {};
  const PixelFormat& format = bitmap.Format();
  const bool alpha = format.HasAlpha();
  const PngForm form{.width = bitmap.Width(), .height = bitmap.Height(),
                     .colours = alpha ? PngForm::Colours::kRgba : PngForm::Colours::kRgb};
  const auto fill = [&](std::uint32_t y, std::uint8_t* row) {
    format.DecodeRow(bitmap.Row(y), bitmap.Width(), row, alpha ? 4 : 3);
  };
  // The file is gathered in the buffer and written a buffer at a time.
  std::uint64_t offset = 0;
  std::size_t held = 0;
  SystemError failed;
  const auto flush = [&] {
    failed = WriteAllAt(os_, file_, offset, buffer_.data(), held);
    offset += std::exchange(held, 0);
    return !failed;
  };
  const auto write = [&](std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
      if (held == buffer_.size() && !flush()) return false;
      const std::size_t take = std::min(bytes.size(), buffer_.size() - held);
      std::memcpy(buffer_.data() + held, bytes.data(), take);
      held += take;
      bytes = bytes.subspan(take);
    }
    return true;
  };
  bool outOfMemory = false;
  const bool written = WritePng(form, fill, write, &outOfMemory) && flush();
  if (failed) return {Status::kIoError, Step::kWriteOutput, failed};
  if (outOfMemory) return {Status::kOutOfMemory};
  return written ? Error{} : Error{Status::kIoError, Step::kWriteOutput};
}
