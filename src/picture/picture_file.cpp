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
  in_.emplace(os_, file_, buffer_);
  return Fill();
}

PictureProblem PictureFile::Fill() {
  const Result<bool> filled = in_->FillTo(stamp_.size);
  if (!filled.Ok()) return {PictureProblem::Kind::kCannotRead, filled.error};
  // A file cut while it is read has changed.
  return filled.value ? PictureProblem{} : PictureProblem{PictureProblem::Kind::kChanged};
}

PictureProblem PictureFile::Read(std::uint8_t* out, std::size_t size) {
  while (size > 0) {
    if (in_->Held().empty()) {
      if (PictureProblem problem = Fill()) return problem;
      if (in_->Held().empty()) return {PictureProblem::Kind::kCutShort};
    }
    const std::size_t take = std::min(size, in_->Held().size());
    std::memcpy(out, in_->Held().data(), take);
    in_->Advance(take);
    out += take;
    size -= take;
  }
  return {};
}

PictureProblem PictureFile::Skip(std::uint64_t size) {
  if (size > stamp_.size - std::min(stamp_.size, in_->Offset())) return {PictureProblem::Kind::kCutShort};
  in_->MoveTo(in_->Offset() + size);
  return {};
}

std::span<const std::uint8_t> PictureFile::Peek(std::size_t size) const {
  return in_->Held().first(std::min(size, in_->Held().size()));
}

PictureProblem PictureFile::Finish() {
  const Result<FileStamp> stamp = os_.Stamp(file_);
  if (!stamp.Ok()) return {PictureProblem::Kind::kCannotRead, stamp.error};
  return stamp.value == stamp_ ? PictureProblem{} : PictureProblem{PictureProblem::Kind::kChanged};
}
