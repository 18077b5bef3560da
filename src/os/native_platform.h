// The running system's files and paths. Programs add how a notice is shown.
#pragma once

#include "../convert/platform.h"

class NativePlatform : public Platform {
 public:
  FileHandle OpenForRead(const NativeString& path) override;
  std::int64_t FileSize(FileHandle file) override;
  FileHandle CreateForWrite(const NativeString& path) override;
  std::int64_t Read(FileHandle file, void* buffer, std::size_t size) override;
  std::int64_t WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                       std::size_t size) override;
  bool Close(FileHandle file) override;
  bool Replace(const NativeString& from, const NativeString& to) override;
  bool Delete(const NativeString& path) override;
  bool AbsolutePath(const NativeString& path, NativeString* absolute) override;
};

// Writes `text` to standard error so that a person reading it sees the
// characters: UTF-16 to a Windows console, the bytes as they are elsewhere.
void WriteToStandardError(const NativeString& text);

// Whether standard error is a terminal a person watches.
bool StandardErrorIsTerminal();
