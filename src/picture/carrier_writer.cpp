#include "carrier_writer.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "../convert/file_io.h"
#include "pixels.h"

namespace {

constexpr std::uint8_t kOpaque = 255;

// The whole of the file `path`, read through the platform.
Error ReadWhole(Platform& os, const NativeString& path, std::vector<std::uint8_t>* bytes) {
  const Result<FileHandle> opened = os.OpenForRead(path);
  if (!opened.Ok()) return {Status::kRefused, Step::kOpenSource, opened.error};
  ScopedFile file(os, opened.value);
  const Result<std::uint64_t> size = os.FileSize(file.get());
  if (!size.Ok()) return {Status::kRefused, Step::kReadSource, size.error};
  bytes->resize(size.value);
  for (std::uint64_t at = 0; at < bytes->size();) {
    const Result<std::size_t> n = os.ReadAt(file.get(), at, bytes->data() + at, bytes->size() - at);
    if (!n.Ok()) return {Status::kRefused, Step::kReadSource, n.error};
    if (n.value == 0) break;
    at += n.value;
  }
  return {};
}

}  // namespace

Error CarrierWriter::Start(FileHandle file, FileHandle source) {
  file_ = file;
  source_ = source;
  payload_.clear();
  changed_ = false;
  const Result<std::uint64_t> size = os_.FileSize(source);
  if (!size.Ok()) return {Status::kIoError, Step::kReadSource, size.error};
  sourceSize_ = size.value;
  payload_.reserve(size.value);
  return {};
}

Error CarrierWriter::Refuse(Refusal refusal) {
  refusal_ = std::move(refusal);
  return {Status::kRefused};
}

// Read as soon as the header has come, while the payload takes little
// memory: the decoder then has the most of it.
Error CarrierWriter::Append(std::span<const std::uint8_t> bytes) {
  payload_.insert(payload_.end(), bytes.begin(), bytes.end());
  if (pictureRead_ || payload_.size() < bmp::kHeadersEnd) return {};
  return ReadPicture();
}

Error CarrierWriter::ReadPicture() {
  pictureRead_ = true;
  std::vector<std::uint8_t> file;
  if (const Error e = ReadWhole(os_, picturePath_, &file)) return Refuse({Refusal::Why::kUnreadable, e.cause});
  BitmapRows rows;
  if (payload_.size() >= bmp::kHeadersEnd) FindBitmapRows(payload_, std::numeric_limits<std::uint64_t>::max(), &rows);
  // A BMP may be just what the conversion wrote, which only the whole
  // payload tells; a bitmap whose pixels cannot be had takes only that.
  const bool isBmp = file.size() >= 2 && file[0] == 'B' && file[1] == 'M';
  if (rows.form != BitmapForm::kRows || isBmp) pictureFile_ = std::move(file);
  if (rows.form != BitmapForm::kRows) return {};
  // The size is known before the pixels are decoded, so that a picture far
  // larger than its bitmap takes no memory.
  const auto width = static_cast<std::uint32_t>(bmp::ReadI32(payload_, bmp::kWidth));
  const std::uint32_t height = static_cast<std::uint32_t>(std::abs(std::int64_t{bmp::ReadI32(payload_, bmp::kHeight)}));
  Refusal refusal{Refusal::Why::kUnreadable};
  const std::span<const std::uint8_t> bytes = isBmp ? pictureFile_ : file;
  if (!PictureSize(bytes, &refusal.width, &refusal.height, &refusal.reason)) return Refuse(refusal);
  if (refusal.width != width || refusal.height != height) {
    refusal.why = Refusal::Why::kWrongSize;
    refusal.bitmapWidth = width;
    refusal.bitmapHeight = height;
    return Refuse(refusal);
  }
  if (!isBmp && !LoadPicture(file, &picture_, &refusal.reason)) return Refuse(refusal);
  return {};
}

bool CarrierWriter::Converts(CarrierForm form) const {
  BitmapWriter writer(os_, buffer_, gathering_);
  bool same = true;
  writer.WriteTo([&](std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    same = same && offset <= pictureFile_.size() && bytes.size() <= pictureFile_.size() - offset &&
           std::equal(bytes.begin(), bytes.end(), pictureFile_.begin() + offset);
  });
  Error error;
  Ending ending;
  do {
    error = writer.Start(kNoFile, source_);
    if (!error) error = writer.Append(payload_);
    if (!error) ending = writer.Finish(form), error = ending.error;
  } while (!error && ending.needsSecondPass);
  return !error && same && writer.OutputSize() == pictureFile_.size();
}

Ending CarrierWriter::Finish(CarrierForm form) {
  Ending ending(Finished(form));
  ending.unchanged = inPlace_ && !changed_;
  ending.bitmap = DescribeBitmap(std::span(payload_).first(std::min<std::size_t>(payload_.size(), bmp::kHeadersEnd)),
                                 payload_.size(), rows_);
  return ending;
}

Error CarrierWriter::Finished(CarrierForm form) {
  if (!pictureRead_) {
    if (Error e = ReadPicture()) return e;
  }
  if (FindBitmapRows(payload_, payload_.size(), &rows_) != Status::kOk) return {Status::kUnsupported, Step::kReadSource};
  const bool converted = !pictureFile_.empty() && Converts(form);
  if (!converted) {
    if (rows_.form != BitmapForm::kRows) return Refuse(Refusal::Why::kNotStorable);
    Refusal refusal{Refusal::Why::kUnreadable};
    if (!pictureFile_.empty() && !LoadPicture(pictureFile_, &picture_, &refusal.reason)) return Refuse(refusal);
    std::vector<std::uint8_t>().swap(pictureFile_);
    if (Error e = PutPixels(rows_)) return e;
  }
  if (!changed_ && inPlace_) return {};
  return WriteCarrier(form);
}

Error CarrierWriter::PutPixels(const BitmapRows& rows) {
  BitmapPixels bitmap;
  if (!bitmap.Open(payload_, rows)) return Refuse({Refusal::Why::kNotStorable});
  Refusal transparent{Refusal::Why::kTransparent}, offPalette{Refusal::Why::kOffPalette};
  const auto note = [](Refusal& refusal, std::uint32_t x, std::uint32_t y) {
    if (refusal.pixels++ == 0) refusal.x = x, refusal.y = y;
  };
  for (std::uint32_t y = 0; y < bitmap.Height(); ++y) {
    for (std::uint32_t x = 0; x < bitmap.Width(); ++x) {
      const std::uint8_t* pixel = picture_.Pixel(x, y);
      const std::uint8_t alpha = picture_.channels == 4 ? pixel[3] : kOpaque;
      if (bitmap.IsBgr() && alpha == kOpaque) {
        // The common form, byte by byte.
        std::uint8_t* stored = bitmap.Row(y) + 3 * std::size_t{x};
        const std::uint8_t bgr[] = {pixel[2], pixel[1], pixel[0]};
        if (!std::equal(bgr, bgr + 3, stored)) std::copy_n(bgr, 3, stored), changed_ = true;
        continue;
      }
      const Rgba colour{pixel[0], pixel[1], pixel[2], alpha};
      if (colour == bitmap.Get(x, y)) continue;
      if (colour[3] != kOpaque && !bitmap.HasAlpha()) {
        note(transparent, x, y);
        continue;
      }
      switch (bitmap.Put(x, y, colour)) {
        case BitmapPixels::Stored::kChanged: changed_ = true; break;
        case BitmapPixels::Stored::kSame: break;
        case BitmapPixels::Stored::kNotInPalette: note(offPalette, x, y); break;
      }
    }
  }
  if (transparent.pixels) return Refuse(transparent);
  if (offPalette.pixels) return Refuse(offPalette);
  return {};
}

// The source copied a buffer at a time, each payload byte replaced where it
// lies in the chain.
Error CarrierWriter::WriteCarrier(CarrierForm form) {
  if (file_ == kNoFile) return {};
  const std::uint64_t first = PayloadOffset(form, 0), blocks = payload_.size() / 255 + 1;
  for (std::uint64_t at = 0; at < sourceSize_;) {
    const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), sourceSize_ - at));
    const Result<std::size_t> n = os_.ReadAt(source_, at, buffer_.data(), ask);
    if (!n.Ok()) return {Status::kIoError, Step::kReadSource, n.error};
    // A carrier cut while it is copied cannot be packed whole.
    if (n.value == 0) return {Status::kUnsupported, Step::kReadSource};
    const std::uint64_t end = at + n.value;
    // Each sub-block of 255 payload bytes lies after its length byte.
    for (std::uint64_t block = at > first ? (at - first) / 256 : 0; block < blocks; ++block) {
      const std::uint64_t index = block * 255, start = PayloadOffset(form, index);
      const std::uint64_t size = std::min<std::uint64_t>(255, payload_.size() - index);
      if (start >= end) break;
      const std::uint64_t from = std::max(start, at), to = std::min(start + size, end);
      if (from < to) std::copy_n(payload_.data() + index + (from - start), to - from, buffer_.data() + (from - at));
    }
    if (const SystemError e = WriteAllAt(os_, file_, at, buffer_.data(), n.value))
      return {Status::kIoError, Step::kWriteOutput, e};
    at = end;
  }
  return {};
}
