// A platform whose files live in memory, so tests and fuzz targets run the
// conversion without system calls. Misuse of a handle aborts, which the
// fuzzer reports as a crash.
#pragma once

#include <map>
#include <vector>

#include "../src/convert/platform.h"
#include "../src/convert/file_io.h"
#include "drop.h"
#include "model.h"

class MemoryPlatform : public Platform {
 public:
  std::map<NativeString, Bytes> files;

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

  // An empty file to write, for tests of writers.
  FileHandle Create(const NativeString& path);

  // Handles handed out and not yet closed.
  int OpenCount() const;

 private:
  struct OpenEntry {
    NativeString path;
    bool writing = false;
    bool open = true;
  };
  // A new handle on `path`.
  FileHandle Add(const NativeString& path, bool writing);
  // The open file behind `file`; aborts for a handle never given or closed.
  OpenEntry& Get(FileHandle file);
  std::vector<OpenEntry> open_;
};
