// The running system's files and paths, as a conversion sees them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../convert/platform.h"

class NativePlatform : public Platform {
 public:
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
  SystemError Delete(FileHandle hold, const NativeString& path) override;
  Result<NativeString> AbsolutePath(const NativeString& path) override;
};
