#include "faulty_platform.h"

#include <algorithm>

namespace {

const SystemError kInjected = SystemError::System(kInjectedError);

template <typename T>
Result<T> Injected() {
  return {{}, kInjected};
}

}  // namespace

bool FaultyPlatform::Fails(Op op) {
  const int i = static_cast<int>(op);
  return calls_[i]++ == failAt_[i];
}

Result<OpenedFile> FaultyPlatform::OpenForRead(const NativeString& path) {
  return Fails(Op::kOpenForRead) ? Injected<OpenedFile>() : inner_.OpenForRead(path);
}

Result<std::uint64_t> FaultyPlatform::FileSize(FileHandle file) {
  return Fails(Op::kFileSize) ? Injected<std::uint64_t>() : inner_.FileSize(file);
}

Result<FileStamp> FaultyPlatform::Stamp(FileHandle file) {
  return Fails(Op::kStamp) ? Injected<FileStamp>() : inner_.Stamp(file);
}

Result<std::size_t> FaultyPlatform::ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) {
  return Fails(Op::kReadAt) ? Injected<std::size_t>() : inner_.ReadAt(file, offset, buffer, std::min(size, maxTransfer));
}

Result<std::size_t> FaultyPlatform::WriteAt(FileHandle file, std::uint64_t offset, const void* data, std::size_t size) {
  return Fails(Op::kWriteAt) ? Injected<std::size_t>() : inner_.WriteAt(file, offset, data, std::min(size, maxTransfer));
}

SystemError FaultyPlatform::Close(FileHandle file) {
  // A failed close still gives the handle back, as the systems' closes do.
  const SystemError closed = inner_.Close(file);
  return Fails(Op::kClose) ? kInjected : closed;
}

Result<Staging> FaultyPlatform::CreateStaging(const NativeString& path) {
  return Fails(Op::kCreateStaging) ? Injected<Staging>() : inner_.CreateStaging(path);
}

SystemError FaultyPlatform::CopyPermissions(const FileStamp& from, FileHandle to) {
  return Fails(Op::kCopyPermissions) ? kInjected : inner_.CopyPermissions(from, to);
}

SystemError FaultyPlatform::Replace(FileHandle hold, const NativeString& from, const NativeString& to) {
  return Fails(Op::kReplace) ? kInjected : inner_.Replace(hold, from, to);
}

Result<bool> FaultyPlatform::KeepBackup(const NativeString& file, const NativeString& backup,
                                        const NativeString& staging, bool replace) {
  return Fails(Op::kKeepBackup) ? Injected<bool>() : inner_.KeepBackup(file, backup, staging, replace);
}

SystemError FaultyPlatform::Delete(FileHandle hold, const NativeString& path) {
  // A removal that fails still lets go of the hold.
  if (!Fails(Op::kDelete)) return inner_.Delete(hold, path);
  inner_.Close(hold);
  return kInjected;
}

Result<NativeString> FaultyPlatform::AbsolutePath(const NativeString& path) {
  return Fails(Op::kAbsolutePath) ? Injected<NativeString>() : inner_.AbsolutePath(path);
}

SystemError FaultyPlatform::CopyFileTo(const NativeString& from, const NativeString& to, const NativeString& staging) {
  return Fails(Op::kCopyFileTo) ? kInjected : inner_.CopyFileTo(from, to, staging);
}
