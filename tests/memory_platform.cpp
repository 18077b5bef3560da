#include "memory_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

FileHandle MemoryPlatform::Add(const NativeString& path, bool writing) {
  open_.push_back({path, writing});
  return static_cast<FileHandle>(open_.size() - 1);
}

MemoryPlatform::OpenFile& MemoryPlatform::Get(FileHandle file) {
  if (file < 0 || static_cast<std::size_t>(file) >= open_.size()) std::abort();
  OpenFile& entry = open_[static_cast<std::size_t>(file)];
  if (!entry.open) std::abort();
  return entry;
}

FileHandle MemoryPlatform::OpenForRead(const NativeString& path) {
  return files.contains(path) ? Add(path, false) : kNoFile;
}

FileHandle MemoryPlatform::CreateForWrite(const NativeString& path) {
  files[path].clear();
  return Add(path, true);
}

std::int64_t MemoryPlatform::FileSize(FileHandle file) {
  return static_cast<std::int64_t>(files.at(Get(file).path).size());
}

std::int64_t MemoryPlatform::ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) {
  const OpenFile& entry = Get(file);
  if (entry.writing) std::abort();
  const Bytes& bytes = files.at(entry.path);
  if (offset >= bytes.size()) return 0;
  const std::size_t n = std::min({size, maxTransfer, static_cast<std::size_t>(bytes.size() - offset)});
  std::memcpy(buffer, bytes.data() + offset, n);
  return static_cast<std::int64_t>(n);
}

std::int64_t MemoryPlatform::WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                                     std::size_t size) {
  OpenFile& entry = Get(file);
  if (!entry.writing) std::abort();
  Bytes& bytes = files.at(entry.path);
  const std::size_t n = std::min(size, maxTransfer);
  // A write past the end leaves a hole of zeros, as on disk.
  if (bytes.size() < offset + n) bytes.resize(offset + n);
  std::memcpy(bytes.data() + offset, data, n);
  return static_cast<std::int64_t>(n);
}

bool MemoryPlatform::Close(FileHandle file) {
  Get(file).open = false;
  return true;
}

bool MemoryPlatform::Replace(const NativeString& from, const NativeString& to) {
  const auto found = files.find(from);
  if (found == files.end()) return false;
  Bytes bytes = std::move(found->second);
  files.erase(found);
  files[to] = std::move(bytes);
  return true;
}

bool MemoryPlatform::Delete(const NativeString& path) { return files.erase(path) > 0; }

bool MemoryPlatform::AbsolutePath(const NativeString& path, NativeString* absolute) {
  *absolute = path;
  return !path.empty();
}

int MemoryPlatform::OpenCount() const {
  return static_cast<int>(std::count_if(open_.begin(), open_.end(), [](const OpenFile& f) { return f.open; }));
}
