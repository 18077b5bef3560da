// Shared by the Win32 layer's files: handles, names and errors.
#pragma once

#include <windows.h>

#include <string>

#include "../convert/platform.h"

// Beyond this length a name is passed in its "\\?\" form, which the system
// takes at any length, since the program's manifest asks for nothing more.
inline constexpr std::size_t kPlainPathLimit = MAX_PATH - 12;
inline constexpr DWORD kMaxTransfer = 1u << 30;
// Indexers and virus scanners open new files for a moment. A rename or
// removal that meets one is tried again, for about a second at most.
inline constexpr int kBusyAttempts = 20;
inline constexpr DWORD kBusyWaitMs = 50;

inline HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
inline FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

inline SystemError LastError() { return SystemError::System(static_cast<int>(GetLastError())); }

template <typename T>
Result<T> Failed(SystemError error) {
  return {{}, error};
}

inline bool FullPath(const std::wstring& path, std::wstring* full) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  while (size != 0) {
    full->resize(size);
    const DWORD length = GetFullPathNameW(path.c_str(), size, full->data(), nullptr);
    if (length < size) {
      full->resize(length);
      return length != 0;
    }
    size = length;
  }
  return false;
}

// The name to hand the system for `path`. The limit is on the full name: a
// short relative one in a deep folder can exceed it, and is taken plain only
// when that full name stays within it.
inline std::wstring SystemName(const std::wstring& path) {
  std::wstring full;
  if (path.starts_with(L"\\\\?\\") || !FullPath(path, &full) || full.size() < kPlainPathLimit)
    return path;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Whether the call on `name` that just failed may succeed once another
// program lets go of a file. Access to a folder or a read-only file stays
// denied however long one waits.
inline bool Busy(const std::wstring& name) {
  const DWORD error = GetLastError();
  bool busy = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  if (error == ERROR_ACCESS_DENIED) {
    const DWORD attributes = GetFileAttributesW(name.c_str());
    busy = attributes == INVALID_FILE_ATTRIBUTES ||
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
  }
  SetLastError(error);
  return busy;
}

template <typename Call>
bool RetryWhileBusy(const std::wstring& name, Call call) {
  for (int attempt = 1;; ++attempt) {
    if (call()) return true;
    if (attempt == kBusyAttempts || !Busy(name)) return false;
    Sleep(kBusyWaitMs);
  }
}

// A positioned transfer on a handle opened for plain, blocking calls.
inline OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}
