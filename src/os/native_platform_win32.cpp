#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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

// Taking a staging name may race with another process taking it; a few
// rounds settle which one has it.
constexpr int kCreateAttempts = 3;

HANDLE Handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

SystemError LastError() { return SystemError::System(static_cast<int>(GetLastError())); }

template <typename T>
Result<T> Failed(SystemError error) {
  return {{}, error};
}

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

}  // namespace

Result<FileHandle> NativePlatform::OpenForRead(const NativeString& path) {
  const std::wstring name = SystemName(path);
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const SystemError error = LastError();
    // A folder is refused as "access denied"; it is no file to begin with.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return Failed<FileHandle>(folder ? SystemError{SystemError::Kind::kNotAFile} : error);
  }
  // Device names such as CON stay reserved in any folder: never wait on one.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return Failed<FileHandle>({SystemError::Kind::kNotAFile});
  }
  return {FromHandle(file)};
}

Result<std::uint64_t> NativePlatform::FileSize(FileHandle file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Handle(file), &size)) return Failed<std::uint64_t>(LastError());
  return {static_cast<std::uint64_t>(size.QuadPart)};
}

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
      if (DuplicateHandle(self, file, self, &hold, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return {{FromHandle(file), FromHandle(hold)}};
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

SystemError NativePlatform::Replace(FileHandle hold, const NativeString&, const NativeString& to) {
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

SystemError NativePlatform::Delete(FileHandle hold, const NativeString&) {
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
