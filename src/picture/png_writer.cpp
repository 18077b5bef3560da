#include "png_writer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "../convert/file_io.h"
#include "pixels.h"
#include "png_picture.h"

Error PngWriter::Start(FileHandle file, const OpenedFile& source) {
  file_ = file;
  payload_.Start(source.stamp.size);
  return {};
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

namespace {

// The largest index a pixel holds, where the palette leaves room for one past it.
std::uint32_t LargestIndex(const BitmapPixels& bitmap) {
  const PixelFormat& format = bitmap.Format();
  std::uint32_t largest = 0;
  if (format.Palette().size() == std::size_t{1} << format.Depth()) return largest;
  for (std::uint32_t y = 0; y < bitmap.Height(); ++y) {
    for (std::uint32_t x = 0; x < bitmap.Width(); ++x) largest = std::max(largest, format.Load(bitmap.Row(y), x));
  }
  return largest;
}

}  // namespace

Error PngWriter::Write(const BitmapRows& rows) {
  BitmapPixels bitmap;
  if (!bitmap.Open(payload_.Bytes(), rows) || bitmap.Width() == 0 || bitmap.Height() == 0) return {Status::kRefused};
  if (file_ == kNoFile) return {};
  const PixelFormat& format = bitmap.Format();
  const bool alpha = format.HasAlpha();
  PngForm form{.width = bitmap.Width(), .height = bitmap.Height(),
               .colours = alpha ? PngForm::Colours::kTrueColourAlpha : PngForm::Colours::kTrueColour};
  std::vector<Rgba> palette;
  if (format.Indexed()) {
    // The carrier's own palette, in its order, and black for indices past it,
    // as they show: an editor then paints with the game's colours alone.
    palette = format.Palette();
    palette.resize(std::max<std::size_t>(palette.size(), LargestIndex(bitmap) + 1), Rgba{0, 0, 0, kOpaque});
    form = {.width = form.width, .height = form.height, .colours = PngForm::Colours::kIndexed, .depth = format.Depth(),
            .palette = palette};
  }
  // Indices are packed as PNG packs them, first pixel in the top bits; the
  // bits past the last pixel are cleared.
  const std::size_t indexBytes = (std::size_t{form.width} * form.depth + 7) / 8;
  const auto lastByte = static_cast<std::uint8_t>(0xFF00 >> (form.width * form.depth % 8 ? form.width * form.depth % 8 : 8));
  const auto fill = [&](std::uint32_t y, std::uint8_t* row) {
    if (!format.Indexed()) return format.DecodeRow(bitmap.Row(y), bitmap.Width(), row, alpha ? 4 : 3);
    std::memcpy(row, bitmap.Row(y), indexBytes);
    row[indexBytes - 1] &= lastByte;
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
