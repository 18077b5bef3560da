#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "system.h"
#include "win32_calls.h"

bool IsMissing(const SystemError& error) {
  return error.kind == SystemError::Kind::kSystem &&
         (error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND);
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

SystemError CreateFolders(const NativeString& path) {
  const std::wstring name = SystemName(path);
  const std::wstring parent = std::filesystem::path(path).parent_path().native();
  if (CreateDirectoryW(name.c_str(), nullptr)) return {};
  if (GetLastError() == ERROR_PATH_NOT_FOUND && !parent.empty() && parent != path) {
    if (const SystemError error = CreateFolders(parent)) return error;
    if (CreateDirectoryW(name.c_str(), nullptr)) return {};
  }
  const SystemError error = LastError();
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return error.code == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
                 (attributes & FILE_ATTRIBUTE_DIRECTORY)
             ? SystemError{}
             : error;
}

Result<FileId> IdentifyFile(const NativeString& path) {
  const HANDLE file = CreateFileW(SystemName(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed<FileId>(LastError());
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(file, &info);
  const SystemError error = known ? SystemError{} : LastError();
  CloseHandle(file);
  if (!known) return Failed<FileId>(error);
  return {{info.dwVolumeSerialNumber, std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow}};
}

PathKind KindOf(const NativeString& path) {
  const DWORD attributes = GetFileAttributesW(SystemName(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::kFolder
         : attributes & FILE_ATTRIBUTE_DEVICE  ? PathKind::kOther
                                               : PathKind::kFile;
}

Result<std::int64_t> ModifiedTime(const NativeString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(SystemName(path).c_str(), GetFileExInfoStandard, &data))
    return Failed<std::int64_t>(LastError());
  return {static_cast<std::int64_t>(std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 |
                                    data.ftLastWriteTime.dwLowDateTime)};
}

// Links to folders and junctions are not followed, so a walk never goes round.
Result<std::vector<FolderEntry>> ListFolder(const NativeString& path) {
  std::wstring pattern = SystemName(path);
  if (!pattern.ends_with(L'\\') && !pattern.ends_with(L'/')) pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return Failed<std::vector<FolderEntry>>(LastError());
  std::vector<FolderEntry> entries;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD attributes = found.dwFileAttributes;
    FolderEntry::Kind kind = FolderEntry::Kind::kFile;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      kind = attributes & FILE_ATTRIBUTE_REPARSE_POINT ? FolderEntry::Kind::kOther : FolderEntry::Kind::kFolder;
    entries.push_back({name, kind});
  } while (FindNextFileW(search, &found));
  const SystemError error = GetLastError() == ERROR_NO_MORE_FILES ? SystemError{} : LastError();
  FindClose(search);
  if (error) return Failed<std::vector<FolderEntry>>(error);
  return {std::move(entries)};
}

bool TooManyOpenFiles(const SystemError& error) {
  return error.kind == SystemError::Kind::kSystem && error.code == ERROR_TOO_MANY_OPEN_FILES;
}

// Handles are limited by memory alone.
std::size_t OpenFileLimit() { return SIZE_MAX; }

NativeString NameKey(const NativeString& absolute) {
  std::wstring key = absolute;
  CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

bool PrefersJapanese() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE; }

void OpenStandardStreams() {
  for (const DWORD stream : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE handle = GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
      SetStdHandle(stream, CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  }
}

SystemError WriteText(Stream stream, const NativeString& text) {
  const HANDLE out = GetStdHandle(stream == Stream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode, done;
  if (GetConsoleMode(out, &mode)) {
    if (!WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &done, nullptr)) return LastError();
    return {};
  }
  // Redirected: UTF-8, which any reader of a file or pipe can decode.
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  if (!WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr)) return LastError();
  return done == bytes.size() ? SystemError{} : SystemError::System(ERROR_WRITE_FAULT);
}

bool StandardErrorIsTerminal() {
  // The progress line needs the console to take "ESC [ K" as an erase.
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode;
  return GetConsoleMode(error, &mode) &&
         (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING ||
          SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING));
}

NativeString EnvironmentValue(const NativeChar* name) {
  std::wstring value;
  for (DWORD size = GetEnvironmentVariableW(name, nullptr, 0); size != 0;) {
    value.resize(size);
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    if (length < size) {
      value.resize(length);
      return value;
    }
    size = length;
  }
  return {};
}
