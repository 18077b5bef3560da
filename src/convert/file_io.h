// Helpers the conversion shares for whole-buffer file work.
#pragma once

#include <cstdint>
#include <memory>

#include "platform.h"

// Closes its file when it goes out of scope; Close() reports the result for
// the files whose contents matter.
class ScopedFile {
 public:
  ScopedFile(Platform& os, FileHandle file) : os_(os), file_(file) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() { Close(); }

  explicit operator bool() const { return file_ != kNoFile; }
  FileHandle get() const { return file_; }
  bool Close() {
    const FileHandle file = file_;
    file_ = kNoFile;
    return file == kNoFile || os_.Close(file);
  }

 private:
  Platform& os_;
  FileHandle file_;
};

// Uninitialised bytes, or nullptr when `size` cannot be had (including sizes
// beyond this process's address space).
std::unique_ptr<std::uint8_t[]> AllocateBytes(std::uint64_t size);

// Writes all `size` bytes at `offset`; false if the system takes fewer.
bool WriteAllAt(Platform& os, FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                std::uint64_t size);
