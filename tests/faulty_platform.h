// Any platform, with chosen calls made to fail and reads and writes cut
// short, for tests to drive each failure a conversion can meet.
#pragma once

#include <array>
#include <cerrno>
#include <cstddef>

#include "../src/convert/platform.h"

enum class Op { kOpenForRead, kFileSize, kStamp, kCreateStaging, kCopyPermissions, kReadAt, kWriteAt, kClose,
                kKeepBackup, kReplace, kDelete, kAbsolutePath, kCopyFileTo };
inline constexpr int kOpCount = 13;

// The reason a failing call gives.
inline constexpr int kInjectedError = EIO;

class FaultyPlatform final : public Platform {
 public:
  explicit FaultyPlatform(Platform& inner) : inner_(inner) {}

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
  Result<bool> KeepBackup(const NativeString& file, const NativeString& backup, const NativeString& staging,
                          bool replace) override;
  SystemError CopyFileTo(const NativeString& from, const NativeString& to, const NativeString& staging) override;
  SystemError Delete(FileHandle hold, const NativeString& path) override;
  Result<NativeString> AbsolutePath(const NativeString& path) override;

 private:
  bool Fails(Op op);

  Platform& inner_;
  std::array<int, kOpCount> calls_{};
  std::array<int, kOpCount> failAt_ = [] {
    std::array<int, kOpCount> none;
    none.fill(-1);
    return none;
  }();
};
