#include <windows.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "in_flight.h"
#include "native_platform.h"
#include "system.h"
#include "win32_calls.h"

namespace {

// Taking a staging name may race with another process taking it; a few
// rounds settle which one has it.
constexpr int kCreateAttempts = 3;

// How often the test seam's pause looks for an interruption.
constexpr DWORD kPauseMs = 10;
// A backup copied where no second link can be made moves through this much at a time.
constexpr DWORD kCopyBuffer = 256 * 1024;
// The attributes a copied backup keeps of its file.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// Removes whatever stands at the staging name `name` as a name: a link's
// target is never touched, and a read-only, hidden or system file goes like
// any other. A staging file another conversion holds refuses to go: kBusy.
SystemError RemoveStale(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    SetFileAttributesW(name.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (RetryWhileBusy(name, [&] { return DeleteFileW(name.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; }))
    return {};
  return GetLastError() == ERROR_SHARING_VIOLATION ? SystemError{SystemError::Kind::kBusy} : LastError();
}

// The test seam's pause: the first until the program is interrupted, at
// once if it has been; any later one for good, until a second interruption
// ends the program.
void StopAt(PauseAt pause, const char* step, const NativeString& staging) {
  static std::atomic<int> pauses = 0;
  if (!pause || !pause(step, staging)) return;
  const bool first = ++pauses == 1;
  while (!first || InterruptStatus() == 0) Sleep(kPauseMs);
}

Result<FileStamp> StampOf(HANDLE file) {
  FILE_BASIC_INFO times;
  LARGE_INTEGER size;
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times) || !GetFileSizeEx(file, &size))
    return Failed<FileStamp>(LastError());
  return {{static_cast<std::uint64_t>(size.QuadPart), times.LastWriteTime.QuadPart, times.ChangeTime.QuadPart}};
}

// Whether a name that was to be new stands already.
bool Taken(const SystemError& error) {
  return error.code == ERROR_ALREADY_EXISTS || error.code == ERROR_FILE_EXISTS;
}

// Whether CreateHardLinkW failed because this file can have no further name
// here: the volume keeps none (FAT, exFAT, some shares), or it has as many
// as it may.
bool NoFurtherLink(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_TOO_MANY_LINKS ||
         error == ERROR_NOT_SAME_DEVICE;
}

// Copies the file `from` to `to`, created where nothing stands, with its data
// on the disk, its times and attributes; removes `to` when it fails.
SystemError CopyWhole(const std::wstring& from, const std::wstring& to) {
  const HANDLE in = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE) return LastError();
  const HANDLE out = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    const SystemError error = LastError();
    CloseHandle(in);
    return error;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  std::vector<std::uint8_t> buffer(kCopyBuffer);
  SystemError error = GetFileInformationByHandle(in, &info) ? SystemError{} : LastError();
  for (DWORD read = 0; !error;) {
    if (!ReadFile(in, buffer.data(), kCopyBuffer, &read, nullptr)) error = LastError();
    if (error || read == 0) break;
    DWORD written = 0;
    if (!WriteFile(out, buffer.data(), read, &written, nullptr)) error = LastError();
    else if (written != read) error = SystemError::System(ERROR_WRITE_FAULT);
  }
  // The times are set last, since every write moves them.
  if (!error && (!SetFileTime(out, &info.ftCreationTime, &info.ftLastAccessTime, &info.ftLastWriteTime) ||
                 !FlushFileBuffers(out)))
    error = LastError();
  if (!CloseHandle(out) && !error) error = LastError();
  CloseHandle(in);
  const DWORD attributes = info.dwFileAttributes & kKeptAttributes;
  if (!error && !SetFileAttributesW(to.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL)) error = LastError();
  if (error) DeleteFileW(to.c_str());
  return error;
}

}  // namespace

Result<OpenedFile> NativePlatform::OpenForRead(const NativeString& path) {
  const std::wstring name = SystemName(path);
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SystemError error = LastError();
    if (error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND) error.kind = SystemError::Kind::kMissing;
    // A folder is refused as "access denied"; it is no file to begin with.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return Failed<OpenedFile>(folder ? SystemError{SystemError::Kind::kNotAFile} : error);
  }
  // Device names such as CON stay reserved in any folder: never wait on one.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return Failed<OpenedFile>({SystemError::Kind::kNotAFile});
  }
  const Result<FileStamp> stamp = StampOf(file);
  if (!stamp.Ok()) {
    CloseHandle(file);
    return Failed<OpenedFile>(stamp.error);
  }
  return {{FromHandle(file), stamp.value}};
}

Result<std::uint64_t> NativePlatform::FileSize(FileHandle file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Handle(file), &size)) return Failed<std::uint64_t>(LastError());
  return {static_cast<std::uint64_t>(size.QuadPart)};
}

Result<FileStamp> NativePlatform::Stamp(FileHandle file) { return StampOf(Handle(file)); }

Result<std::size_t> NativePlatform::ReadAt(FileHandle file, std::uint64_t offset, void* buffer,
                                           std::size_t size) {
  if (offset > INT64_MAX) return Failed<std::size_t>(SystemError::System(ERROR_NEGATIVE_SEEK));
  OVERLAPPED at = At(offset);
  DWORD done = 0;
  const DWORD ask = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
  if (ReadFile(Handle(file), buffer, ask, &done, &at)) return {done};
  // Given an offset, a read from the end on fails where it would read nothing.
  if (GetLastError() == ERROR_HANDLE_EOF) return {0};
  return Failed<std::size_t>(LastError());
}

Result<std::size_t> NativePlatform::WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                                            std::size_t size) {
  if (offset > INT64_MAX) return Failed<std::size_t>(SystemError::System(ERROR_NEGATIVE_SEEK));
  OVERLAPPED at = At(offset);
  DWORD done = 0;
  const DWORD ask = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
  if (!WriteFile(Handle(file), data, ask, &done, &at)) return Failed<std::size_t>(LastError());
  return {done};
}

SystemError NativePlatform::Close(FileHandle file) {
  return CloseHandle(Handle(file)) ? SystemError{} : LastError();
}

// The staging file is created only where nothing stands, with a sharing mode
// that lets no one else write or remove it; the hold is a second handle to
// it, through which it is renamed or removed once the first is closed.
Result<Staging> NativePlatform::CreateStaging(const NativeString& path) {
  const std::wstring name = SystemName(path);
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    HANDLE file = INVALID_HANDLE_VALUE;
    const bool created = RetryWhileBusy(name, [&] {
      file = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
      return file != INVALID_HANDLE_VALUE;
    });
    if (created) {
      HANDLE hold;
      const HANDLE self = GetCurrentProcess();
      if (DuplicateHandle(self, file, self, &hold, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        EnterInFlight(FromHandle(hold), path);
        StopAt(pause_, "staged", path);
        return {{FromHandle(file), FromHandle(hold)}};
      }
      const SystemError error = LastError();
      FILE_DISPOSITION_INFO remove{TRUE};
      SetFileInformationByHandle(file, FileDispositionInfo, &remove, sizeof remove);
      CloseHandle(file);
      return Failed<Staging>(error);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return Failed<Staging>(LastError());
    if (const SystemError removed = RemoveStale(name)) return Failed<Staging>(removed);
  }
  return Failed<Staging>({SystemError::Kind::kBusy});
}

// A new file takes its folder's access rules, as the one it replaces did.
SystemError NativePlatform::CopyPermissions(const FileStamp&, FileHandle) { return {}; }

SystemError NativePlatform::Replace(FileHandle hold, const NativeString& from, const NativeString& to) {
  StopAt(pause_, "replace", from);
  LeaveInFlight(hold);
  // The new name is given whole, so that it cannot be taken as relative to the old one's folder.
  std::wstring full;
  const std::wstring target = SystemName(FullPath(to, &full) ? full : to);
  const std::size_t nameBytes = target.size() * sizeof(wchar_t);
  std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(rename->FileName, target.data(), nameBytes);
  const bool renamed = RetryWhileBusy(target, [&] {
    return SetFileInformationByHandle(Handle(hold), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()));
  });
  if (!renamed) return LastError();
  CloseHandle(Handle(hold));
  return {};
}

// A second link keeps the very file, its bytes, attributes and times; a
// numbered backup is linked at its own name, which the link refuses when it
// is taken, and a simple one at the staging name, then moved over the one
// before.
Result<bool> NativePlatform::KeepBackup(const NativeString& file, const NativeString& backup,
                                        const NativeString& staging, bool replace) {
  const std::wstring source = SystemName(file), target = SystemName(backup), temporary = SystemName(staging);
  if (replace) {
    if (const SystemError error = RemoveStale(temporary)) return Failed<bool>(error);
  }
  bool copied = false;
  if (!CreateHardLinkW((replace ? temporary : target).c_str(), source.c_str(), nullptr)) {
    const SystemError error = LastError();
    if (const Result<PathKind> kind = KindOf(file); kind.Ok() && kind.value == PathKind::kMissing) return {false};
    if (!replace && Taken(error)) return Failed<bool>({SystemError::Kind::kTaken});
    if (!NoFurtherLink(static_cast<DWORD>(error.code))) return Failed<bool>(error);
    if (!replace) {
      if (const SystemError removed = RemoveStale(temporary)) return Failed<bool>(removed);
    }
    if (const SystemError copy = CopyWhole(source, temporary)) return Failed<bool>(copy);
    copied = true;
  }
  if (replace || copied) {
    const DWORD flags = (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH;
    if (!RetryWhileBusy(target, [&] { return MoveFileExW(temporary.c_str(), target.c_str(), flags); })) {
      const SystemError last = LastError();
      const SystemError error = !replace && Taken(last) ? SystemError{SystemError::Kind::kTaken} : last;
      RemoveStale(temporary);
      return Failed<bool>(error);
    }
  }
  return {true};
}

SystemError NativePlatform::CopyFileTo(const NativeString& from, const NativeString& to, const NativeString& staging) {
  const std::wstring source = SystemName(from), target = SystemName(to), temporary = SystemName(staging);
  if (const SystemError error = RemoveStale(temporary)) return error;
  if (const SystemError copy = CopyWhole(source, temporary)) return copy;
  constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (RetryWhileBusy(target, [&] { return MoveFileExW(temporary.c_str(), target.c_str(), kFlags); })) return {};
  const SystemError error = LastError();
  RemoveStale(temporary);
  return error;
}

SystemError NativePlatform::Delete(FileHandle hold, const NativeString&) {
  LeaveInFlight(hold);
  FILE_DISPOSITION_INFO remove{TRUE};
  const bool removed = SetFileInformationByHandle(Handle(hold), FileDispositionInfo, &remove, sizeof remove);
  const SystemError error = removed ? SystemError{} : LastError();
  CloseHandle(Handle(hold));
  return error;
}

Result<NativeString> NativePlatform::AbsolutePath(const NativeString& path) {
  std::wstring full;
  if (!FullPath(path, &full)) return Failed<NativeString>(LastError());
  return {full};
}
