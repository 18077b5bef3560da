#include <windows.h>

#include <filesystem>
#include <string>

#include "native_platform.h"

namespace {

// Beyond this length a name is passed in its "\\?\" form, which the system
// takes at any length, since the program's manifest asks for nothing more.
constexpr std::size_t kPlainPathLimit = MAX_PATH - 12;
constexpr DWORD kMaxTransfer = 1u << 30;
// Indexers and virus scanners open new files for a moment. A rename or
// removal that meets one is tried again, for about a second at most.
constexpr int kBusyAttempts = 20;
constexpr DWORD kBusyWaitMs = 50;

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

// Whether the call on `name` that just failed may succeed once another
// program lets go of a file. Access to a folder or a read-only file stays
// denied however long one waits.
bool Busy(const std::wstring& name) {
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
OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

FileHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(handle);
}

}  // namespace

std::int64_t NativePlatform::Fail(int code) {
  error_ = code;
  return -1;
}

bool NativePlatform::Check(bool done) {
  if (!done) error_ = static_cast<int>(GetLastError());
  return done;
}

FileHandle NativePlatform::OpenForRead(const NativeString& path) {
  const std::wstring name = SystemName(path);
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A folder is refused as "access denied"; it is no file to begin with.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return Fail(folder ? kNotAFile : static_cast<int>(error));
  }
  // Device names such as CON stay reserved in any folder: never wait on one.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return Fail(kNotAFile);
  }
  return FromHandle(file);
}

FileHandle NativePlatform::CreateForWrite(const NativeString& path) {
  const std::wstring name = SystemName(path);
  // CREATE_ALWAYS would write through a link; remove the link itself first.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !Check(DeleteFileW(name.c_str())))
    return kNoFile;
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  Check(file != INVALID_HANDLE_VALUE);
  return FromHandle(file);
}

std::int64_t NativePlatform::FileSize(FileHandle file) {
  LARGE_INTEGER size;
  return Check(GetFileSizeEx(Handle(file), &size)) ? size.QuadPart : -1;
}

// A failure is returned on its own: beside the DWORD count in one conditional
// expression, -1 would turn into 4294967295 bytes transferred.
std::int64_t NativePlatform::ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > INT64_MAX) return Fail(ERROR_NEGATIVE_SEEK);
  OVERLAPPED at = At(offset);
  DWORD done = 0;
  const DWORD ask = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
  if (ReadFile(Handle(file), buffer, ask, &done, &at)) return done;
  // Given an offset, a read from the end on fails where it would read nothing.
  if (GetLastError() == ERROR_HANDLE_EOF) return 0;
  Check(false);
  return -1;
}

std::int64_t NativePlatform::WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                                     std::size_t size) {
  if (offset > INT64_MAX) return Fail(ERROR_NEGATIVE_SEEK);
  OVERLAPPED at = At(offset);
  DWORD done = 0;
  const DWORD ask = size < kMaxTransfer ? static_cast<DWORD>(size) : kMaxTransfer;
  if (!Check(WriteFile(Handle(file), data, ask, &done, &at))) return -1;
  return done;
}

bool NativePlatform::Close(FileHandle file) { return Check(CloseHandle(Handle(file))); }

bool NativePlatform::Replace(const NativeString& from, const NativeString& to) {
  const std::wstring source = SystemName(from), target = SystemName(to);
  return Check(RetryWhileBusy(target, [&] {
    return MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
  }));
}

bool NativePlatform::Delete(const NativeString& path) {
  const std::wstring name = SystemName(path);
  return Check(RetryWhileBusy(name, [&] { return DeleteFileW(name.c_str()); }));
}

bool NativePlatform::AbsolutePath(const NativeString& path, NativeString* absolute) {
  return FullPath(path, absolute);
}

NativeString ErrorText(int code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  NativeString message = length ? NativeString(text, length) : L"error " + std::to_wstring(code);
  LocalFree(text);
  // The system's texts end with a line break, and often a full stop before it.
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' '))
    message.pop_back();
  return message;
}

bool NativePlatform::CreateFolders(const NativeString& path) {
  const std::wstring name = SystemName(path);
  const std::wstring parent = std::filesystem::path(path).parent_path().native();
  bool made = Check(CreateDirectoryW(name.c_str(), nullptr));
  if (!made && LastError() == ERROR_PATH_NOT_FOUND && !parent.empty() && parent != path &&
      CreateFolders(parent))
    made = Check(CreateDirectoryW(name.c_str(), nullptr));
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return made || (LastError() == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
                  (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

NativeString NameKey(const NativeString& absolute) {
  std::wstring key = absolute;
  CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

bool PrefersJapanese() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE; }

void WriteText(Stream stream, const NativeString& text) {
  const HANDLE out = GetStdHandle(stream == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode, done;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    return;
  }
  // Redirected: UTF-8, which any reader of a file or pipe can decode.
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

bool StandardErrorIsTerminal() {
  // The progress line needs the console to take "ESC [ K" as an erase.
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode;
  return GetConsoleMode(error, &mode) &&
         (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING ||
          SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING));
}
