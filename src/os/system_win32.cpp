#include <windows.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "in_flight.h"
#include "system.h"
#include "win32_calls.h"

namespace {

// The console's events as the signals they stand for, by the C runtime's
// numbers where it has them: Ctrl-C SIGINT, Ctrl-Break SIGBREAK, the
// console closing SIGHUP, as a terminal's closing is elsewhere.
constexpr int kCtrlC = 2, kCtrlBreak = 21, kConsoleClosed = 1;

// The first interruption's number, 0 before it.
std::atomic<int> interruption = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const int signal = event == CTRL_C_EVENT       ? kCtrlC
                     : event == CTRL_BREAK_EVENT ? kCtrlBreak
                     : event == CTRL_CLOSE_EVENT ? kConsoleClosed
                                                 : 0;
  if (!signal) return FALSE;
  int none = 0;
  if (!interruption.compare_exchange_strong(none, signal)) {
    // Outputs change only by a rename, so every one is old or new; the files
    // under way go when their handles close with the process.
    RemoveInFlight([](FileHandle hold, const NativeChar*) {
      FILE_DISPOSITION_INFO remove{TRUE};
      SetFileInformationByHandle(Handle(hold), FileDispositionInfo, &remove, sizeof remove);
    });
    TerminateProcess(GetCurrentProcess(), 128 + signal);
  }
  // The system ends a program whose console closes once this returns: the
  // batch ends first, in the time the system gives.
  if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
  return TRUE;
}

// Whether `error` says that nothing stands at a name (or at a folder on its way).
bool NoSuchFile(const SystemError& error) {
  return error.kind == SystemError::Kind::kSystem &&
         (error.code == ERROR_FILE_NOT_FOUND || error.code == ERROR_PATH_NOT_FOUND);
}

}  // namespace

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
  if (error.code != ERROR_ALREADY_EXISTS) return error;
  // Something stands there: a folder, or what says why it is none.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? SystemError{} : error;
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

Result<PathKind> KindOf(const NativeString& path) {
  const DWORD attributes = GetFileAttributesW(SystemName(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const SystemError error = LastError();
    return NoSuchFile(error) ? Result<PathKind>{PathKind::kMissing} : Failed<PathKind>(error);
  }
  return attributes & FILE_ATTRIBUTE_DIRECTORY ? PathKind::kFolder
         : attributes & FILE_ATTRIBUTE_DEVICE  ? PathKind::kOther
                                               : PathKind::kFile;
}

namespace {

struct SearchCloser {
  void operator()(HANDLE search) const { FindClose(search); }
};

// Calls take(found) for each entry the system finds for `pattern`, "." and
// ".." left out.
template <typename Take>
SystemError FindEach(const std::wstring& pattern, Take take) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return LastError();
  const std::unique_ptr<void, SearchCloser> held(search);
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") take(found);
  } while (FindNextFileW(search, &found));
  return GetLastError() == ERROR_NO_MORE_FILES ? SystemError{} : LastError();
}

// Where the last name of `operand` starts: after its last separator, or
// after the colon of a drive's working folder ("C:*.gif").
std::size_t LastNameAt(const std::wstring& operand) {
  const std::size_t separator = operand.find_last_of(L"\\/");
  if (separator != std::wstring::npos) return separator + 1;
  return operand.size() >= 2 && operand[1] == L':' ? 2 : 0;
}

// A name that starts "\\?\" or "\\.\" is taken by the system as it is; that
// ? is no wildcard.
constexpr std::size_t kVerbatimPrefix = 4;

}  // namespace

// Links to folders and junctions are not followed, so a walk never goes round.
Result<std::vector<FolderEntry>> ListFolder(const NativeString& path) {
  std::wstring pattern = SystemName(path);
  if (!pattern.ends_with(L'\\') && !pattern.ends_with(L'/')) pattern += L'\\';
  pattern += L'*';
  std::vector<FolderEntry> entries;
  const SystemError error = FindEach(pattern, [&](const WIN32_FIND_DATAW& found) {
    const DWORD attributes = found.dwFileAttributes;
    FolderEntry::Kind kind = FolderEntry::Kind::kFile;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      kind = attributes & FILE_ATTRIBUTE_REPARSE_POINT ? FolderEntry::Kind::kOther : FolderEntry::Kind::kFolder;
    entries.push_back({found.cFileName, kind});
  });
  if (error) return Failed<std::vector<FolderEntry>>(error);
  return {std::move(entries)};
}

// The C runtime leaves the arguments as typed (mingw-w64's _dowildcard is
// off), so patterns are matched here alone, and only in operands, never in an
// option's value. The matching is the system's, as cmd's own commands have
// it: * any run of characters, ? one, letter case ignored. A quoted pattern
// is matched too, as by cmd's commands (dir "my files\*.gif") and by today's C
// runtime's setargv: cmd's quotes only group words, and no file's name can
// hold * or ?.
Result<std::vector<NativeString>> OperandNames(const NativeString& operand) {
  const bool verbatim = operand.starts_with(L"\\\\?\\") || operand.starts_with(L"\\\\.\\");
  const std::size_t wildcard = operand.find_first_of(L"*?", verbatim ? kVerbatimPrefix : 0);
  const std::size_t lastName = LastNameAt(operand);
  // A wildcard in a folder's name matches nothing here, as in cmd; opening
  // the operand then says why.
  if (wildcard == std::wstring::npos || wildcard < lastName) return {{operand}};
  std::vector<NativeString> names;
  const SystemError error = FindEach(SystemName(operand), [&](const WIN32_FIND_DATAW& found) {
    if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) names.push_back(found.cFileName);
  });
  if (error) return Failed<std::vector<NativeString>>(error);
  if (names.empty()) return Failed<std::vector<NativeString>>(SystemError::System(ERROR_FILE_NOT_FOUND));
  // NTFS lists a folder so already; FAT and shares list it as it was filled.
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return std::pair(NameKey(a), a) < std::pair(NameKey(b), b);
  });
  for (NativeString& name : names) name.insert(0, operand, 0, lastName);
  return {std::move(names)};
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

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

int InterruptStatus() {
  const int signal = interruption.load();
  return signal ? 128 + signal : 0;
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
