#include "picture_file.h"

#include <algorithm>
#include <cstring>

PictureFile::~PictureFile() {
  if (file_ != kNoFile) os_.Close(file_);
}

PictureProblem PictureFile::Open(const NativeString& path) {
  const Result<OpenedFile> opened = os_.OpenForRead(path);
  if (!opened.Ok()) return {PictureProblem::Kind::kCannotOpen, opened.error};
  file_ = opened.value.handle;
  stamp_ = opened.value.stamp;
  return Fill();
}

// Reads on from where the buffer ends; nothing more at the file's end.
PictureProblem PictureFile::Fill() {
  const std::size_t kept = end_ - pos_;
  std::memmove(buffer_.data(), buffer_.data() + pos_, kept);
  pos_ = 0;
  end_ = kept;
  while (end_ < buffer_.size() && offset_ < stamp_.size) {
    const Result<std::size_t> n = os_.ReadAt(file_, offset_, buffer_.data() + end_, buffer_.size() - end_);
    if (!n.Ok()) return {PictureProblem::Kind::kCannotRead, n.error};
    // A file cut while it is read has changed.
    if (n.value == 0) return {PictureProblem::Kind::kChanged};
    offset_ += n.value;
    end_ += n.value;
  }
  return {};
}

PictureProblem PictureFile::Read(std::uint8_t* out, std::size_t size) {
  while (size > 0) {
    if (pos_ == end_) {
      if (PictureProblem problem = Fill()) return problem;
      if (end_ == 0) return {PictureProblem::Kind::kCutShort};
    }
    const std::size_t take = std::min(size, end_ - pos_);
    std::memcpy(out, buffer_.data() + pos_, take);
    pos_ += take;
    out += take;
    size -= take;
  }
  return {};
}

PictureProblem PictureFile::Compare(std::span<const std::uint8_t> expected, bool* same) {
  *same = true;
  while (!expected.empty() && *same) {
    if (pos_ == end_) {
      if (PictureProblem problem = Fill()) return problem;
      if (end_ == 0) return {PictureProblem::Kind::kCutShort};
    }
    const std::size_t take = std::min(expected.size(), end_ - pos_);
    *same = std::memcmp(expected.data(), buffer_.data() + pos_, take) == 0;
    pos_ += take;
    expected = expected.subspan(take);
  }
  return {};
}

PictureProblem PictureFile::Skip(std::uint64_t size) {
  const std::uint64_t held = end_ - pos_;
  if (size <= held) {
    pos_ += static_cast<std::size_t>(size);
    return {};
  }
  if (size - held > stamp_.size - offset_) return {PictureProblem::Kind::kCutShort};
  offset_ += size - held;
  pos_ = end_ = 0;
  return {};
}

void PictureFile::Return(std::uint64_t offset) {
  // Still in the buffer, or read again.
  if (offset >= offset_ - end_) {
    pos_ = static_cast<std::size_t>(offset - (offset_ - end_));
  } else {
    offset_ = offset;
    pos_ = end_ = 0;
  }
}

std::span<const std::uint8_t> PictureFile::Peek(std::size_t size) {
  return std::span<const std::uint8_t>(buffer_).subspan(pos_, std::min(size, end_ - pos_));
}

PictureProblem PictureFile::Finish() {
  const Result<FileStamp> stamp = os_.Stamp(file_);
  if (!stamp.Ok()) return {PictureProblem::Kind::kCannotRead, stamp.error};
  return stamp.value == stamp_ ? PictureProblem{} : PictureProblem{PictureProblem::Kind::kChanged};
}
