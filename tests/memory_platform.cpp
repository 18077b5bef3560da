#include "memory_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

FileHandle MemoryPlatform::Add(const NativeString& path, bool writing) {
  open_.push_back({path, writing});
  return static_cast<FileHandle>(open_.size() - 1);
}

MemoryPlatform::OpenEntry& MemoryPlatform::Get(FileHandle file) {
  if (file < 0 || static_cast<std::size_t>(file) >= open_.size()) std::abort();
  OpenEntry& entry = open_[static_cast<std::size_t>(file)];
  if (!entry.open) std::abort();
  return entry;
}

Result<OpenedFile> MemoryPlatform::OpenForRead(const NativeString& path) {
  if (!files.contains(path)) return {{}, {SystemError::Kind::kMissing, ENOENT}};
  return {{Add(path, false), {files.at(path).size()}}};
}

FileHandle MemoryPlatform::Create(const NativeString& path) {
  files[path].clear();
  return Add(path, true);
}

Result<Staging> MemoryPlatform::CreateStaging(const NativeString& path) {
  const FileHandle file = Create(path);
  return {{file, Add(path, false)}};
}

Result<std::uint64_t> MemoryPlatform::FileSize(FileHandle file) { return {files.at(Get(file).path).size()}; }

// Files in memory change only between conversions.
Result<FileStamp> MemoryPlatform::Stamp(FileHandle file) { return {{files.at(Get(file).path).size()}}; }

SystemError MemoryPlatform::CopyPermissions(const FileStamp&, FileHandle to) {
  Get(to);
  return {};
}

Result<std::size_t> MemoryPlatform::ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) {
  const OpenEntry& entry = Get(file);
  if (entry.writing) std::abort();
  const Bytes& bytes = files.at(entry.path);
  if (offset >= bytes.size()) return {0};
  const std::size_t n = std::min(size, static_cast<std::size_t>(bytes.size() - offset));
  std::memcpy(buffer, bytes.data() + offset, n);
  return {n};
}

Result<std::size_t> MemoryPlatform::WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                                            std::size_t size) {
  OpenEntry& entry = Get(file);
  if (!entry.writing) std::abort();
  Bytes& bytes = files.at(entry.path);
  // A write past the end leaves a hole of zeros, as on disk.
  if (bytes.size() < offset + size) bytes.resize(offset + size);
  std::memcpy(bytes.data() + offset, data, size);
  return {size};
}

SystemError MemoryPlatform::Close(FileHandle file) {
  Get(file).open = false;
  return {};
}

SystemError MemoryPlatform::Replace(FileHandle hold, const NativeString& from, const NativeString& to) {
  const auto found = files.find(from);
  if (found == files.end()) return SystemError::System(ENOENT);
  Bytes bytes = std::move(found->second);
  files.erase(found);
  files[to] = std::move(bytes);
  return Close(hold);
}

Result<bool> MemoryPlatform::KeepBackup(const NativeString& file, const NativeString& backup, const NativeString&,
                                        bool replace) {
  if (!files.contains(file)) return {false};
  if (!replace && files.contains(backup)) return {false, {SystemError::Kind::kTaken}};
  files[backup] = files.at(file);
  return {true};
}

SystemError MemoryPlatform::CopyFileTo(const NativeString& from, const NativeString& to, const NativeString&) {
  if (!files.contains(from)) return {SystemError::Kind::kMissing, ENOENT};
  files[to] = files.at(from);
  return {};
}

SystemError MemoryPlatform::Delete(FileHandle hold, const NativeString& path) {
  const bool removed = files.erase(path) > 0;
  Close(hold);
  return removed ? SystemError{} : SystemError::System(ENOENT);
}

Result<NativeString> MemoryPlatform::AbsolutePath(const NativeString& path) {
  if (path.empty()) return {{}, SystemError::System(ENOENT)};
  return {path};
}

int MemoryPlatform::OpenCount() const {
  return static_cast<int>(std::count_if(open_.begin(), open_.end(), [](const OpenEntry& f) { return f.open; }));
}
