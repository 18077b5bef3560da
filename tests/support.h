// Test support: scratch folders, whole-file helpers, and a platform that
// records notices and fails chosen operations on real files.
#pragma once

#include <array>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "../src/convert/bitmap_writer.h"
#include "../src/convert/file_io.h"
#include "../src/os/native_platform.h"
#include "../src/os/system.h"
#include "drop.h"
#include "model.h"

namespace fs = std::filesystem;

// A fresh folder, by default under the system's temporary folder, removed
// with its contents.
class TempDir {
 public:
  explicit TempDir(const fs::path& parent = fs::temp_directory_path());
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const fs::path& name) const { return path_ / name; }
  // Names of everything in the folder, sorted.
  std::vector<std::string> List() const;

 private:
  fs::path path_;
};

Bytes ReadFileBytes(const fs::path& path);
void WriteFileBytes(const fs::path& path, std::span<const std::uint8_t> bytes);

enum class Op { kOpenForRead, kFileSize, kStamp, kCreateStaging, kCopyPermissions, kReadAt, kWriteAt, kClose,
                kReplace, kDelete, kAbsolutePath };
inline constexpr int kOpCount = 11;

// The reason a failing call made by TestPlatform gives.
inline constexpr int kInjectedError = EIO;

class TestPlatform : public NativePlatform {
 public:
  std::vector<NativeString> notices;
  // Reads and writes move at most this many bytes a call.
  std::size_t maxTransfer = static_cast<std::size_t>(-1);

  // Makes call number `index` (from 0) of `op` fail.
  void FailCall(Op op, int index) { failAt_[static_cast<int>(op)] = index; }
  int Calls(Op op) const { return calls_[static_cast<int>(op)]; }

  Result<OpenedFile> OpenForRead(const NativeString& path) override;
  Result<std::uint64_t> FileSize(FileHandle file) override;
  Result<FileStamp> Stamp(FileHandle file) override;
  Result<std::size_t> ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) override;
  Result<std::size_t> WriteAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t size) override;
  SystemError Close(FileHandle file) override;
  Result<Staging> CreateStaging(const NativeString& path) override;
  SystemError CopyPermissions(const FileStamp& from, FileHandle to) override;
  SystemError Replace(FileHandle hold, const NativeString& from, const NativeString& to) override;
  SystemError Delete(FileHandle hold, const NativeString& path) override;
  Result<NativeString> AbsolutePath(const NativeString& path) override;

 private:
  bool Fails(Op op);
  std::array<int, kOpCount> calls_{};
  std::array<int, kOpCount> failAt_ = [] {
    std::array<int, kOpCount> none;
    none.fill(-1);
    return none;
  }();
};

// Collects a payload in memory.
struct BytesSink : PayloadSink {
  Bytes bytes;
  Error Append(std::span<const std::uint8_t> data) override {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return {};
  }
};

// Hands `payload` to a BitmapWriter on `file` in pieces of `piece` bytes,
// and again when it asks, as a conversion does.
Status PourPayload(Platform& os, FileHandle file, std::span<std::uint8_t> buffer, const OpenedFile& source,
                   std::span<const std::uint8_t> payload, std::size_t piece);

// The notice the job shows for `path` and `status`.
NativeString Notice(const fs::path& path, Status status);
