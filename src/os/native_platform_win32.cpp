#include <windows.h>

#include <string>

#include "native_platform.h"

namespace {

// Beyond this length a name is passed in its "\\?\" form, which the system
// takes at any length, since the program's manifest asks for nothing more.
constexpr std::size_t kPlainPathLimit = MAX_PATH - 12;
constexpr DWORD kMaxTransfer = 1u << 30;

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool FullPath(const std::wstring& path, std::wstring* full) {
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
std::wstring SystemName(const std::wstring& path) {
  std::wstring full;
  if (path.starts_with(L"\\\\?\\") || !FullPath(path, &full) || full.size() < kPlainPathLimit)
    return path;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

}  // namespace

FileHandle NativePlatform::OpenForRead(const NativeString& path) {
  const HANDLE file = CreateFileW(SystemName(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  // Device names such as CON stay reserved in any folder: never wait on one.
  if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return kNoFile;
  }
  return FromHandle(file);
}

FileHandle NativePlatform::CreateForWrite(const NativeString& path) {
  const std::wstring name = SystemName(path);
  // CREATE_ALWAYS would write through a link; remove the link itself first.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !DeleteFileW(name.c_str()))
    return kNoFile;
  return FromHandle(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool NativePlatform::Seek(FileHandle file, std::uint64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return offset <= INT64_MAX && SetFilePointerEx(Handle(file), distance, nullptr, FILE_BEGIN);
}

// A failure is returned on its own: beside the DWORD count in one conditional
// expression, -1 would turn into 4294967295 bytes transferred.
std::int64_t NativePlatform::Read(FileHandle file, void* buffer, std::size_t size) {
  DWORD done = 0;
  const DWORD ask = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
  if (!ReadFile(Handle(file), buffer, ask, &done, nullptr)) return -1;
  return done;
}

std::int64_t NativePlatform::Write(FileHandle file, const void* data, std::size_t size) {
  DWORD done = 0;
  const DWORD ask = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
  if (!WriteFile(Handle(file), data, ask, &done, nullptr)) return -1;
  return done;
}

bool NativePlatform::Close(FileHandle file) { return CloseHandle(Handle(file)); }

bool NativePlatform::Delete(const NativeString& path) {
  return DeleteFileW(SystemName(path).c_str());
}

bool NativePlatform::AbsolutePath(const NativeString& path, NativeString* absolute) {
  return FullPath(path, absolute);
}

void WriteToStandardError(const NativeString& text) {
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode, done;
  if (GetConsoleMode(error, &mode)) {
    WriteConsoleW(error, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    return;
  }
  // Redirected: UTF-8, which any reader of a file or pipe can decode.
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

bool StandardErrorIsTerminal() {
  // The progress line needs the console to take "ESC [ K" as an erase.
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode;
  return GetConsoleMode(error, &mode) &&
         (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING ||
          SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING));
}
