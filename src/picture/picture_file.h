// A picture file read from its start, in order, through a buffer: it tells
// when the file ends too soon, and when it changed while it was read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "../convert/file_io.h"
#include "picture_sink.h"

class PictureFile {
 public:
  PictureFile(Platform& os, std::span<std::uint8_t> buffer) : os_(os), buffer_(buffer) {}
  PictureFile(const PictureFile&) = delete;
  PictureFile& operator=(const PictureFile&) = delete;
  ~PictureFile();

  PictureProblem Open(const NativeString& path);
  std::uint64_t Size() const { return stamp_.size; }
  // The next `size` bytes into `out`; kCutShort when the file ends first.
  PictureProblem Read(std::uint8_t* out, std::size_t size);
  PictureProblem Skip(std::uint64_t size);
  // Where the next byte read lies in the file.
  std::uint64_t Offset() const { return in_->Offset(); }
  // Reads on from `offset`, one already read past.
  void Return(std::uint64_t offset) { in_->MoveTo(offset); }
  // Up to `size` of the first bytes, without reading past them.
  std::span<const std::uint8_t> Peek(std::size_t size) const;
  // Once everything is read: kChanged when the file is no longer the one
  // that was opened.
  PictureProblem Finish();

 private:
  // Reads on until the buffer is full or the file's end; a file that ends
  // before its size said has changed.
  PictureProblem Fill();

  Platform& os_;
  std::span<std::uint8_t> buffer_;
  FileHandle file_ = kNoFile;
  FileStamp stamp_;
  std::optional<BufferedInput> in_;
};
