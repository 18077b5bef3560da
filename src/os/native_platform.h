// The running system's files and paths, as a conversion sees them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../convert/platform.h"

// Whether to pause at `step` on the way with the staging file `staging`, as
// the tools' test seam asks (stop_at.h); the window takes none, so that it
// carries no seam.
using PauseAt = bool (*)(const char* step, const NativeString& staging);

class NativePlatform : public Platform {
 public:
  explicit NativePlatform(PauseAt pause = nullptr) : pause_(pause) {}

  Result<OpenedFile> OpenForRead(const NativeString& path) override;
  Result<std::uint64_t> FileSize(FileHandle file) override;
  Result<FileStamp> Stamp(FileHandle file) override;
  Result<std::size_t> ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) override;
  Result<std::size_t> WriteAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t size) override;
  SystemError Close(FileHandle file) override;
  Result<Staging> CreateStaging(const NativeString& path) override;
  SystemError CopyPermissions(const FileStamp& from, FileHandle to) override;
  SystemError Replace(FileHandle hold, const NativeString& from, const NativeString& to) override;
  Result<bool> KeepBackup(const NativeString& file, const NativeString& backup, const NativeString& staging,
                          bool replace) override;
  SystemError CopyFileTo(const NativeString& from, const NativeString& to, const NativeString& staging) override;
  SystemError Delete(FileHandle hold, const NativeString& path) override;
  Result<NativeString> AbsolutePath(const NativeString& path) override;

 private:
  PauseAt pause_;
};
