#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>

#include "in_flight.h"
#include "posix_calls.h"
#include "system.h"

namespace {

// The first interruption's signal number, 0 before it; a signal handler reads and sets it.
std::atomic<int> interruption = 0;
static_assert(std::atomic<int>::is_always_lock_free);

void OnInterrupt(int signal) {
  int none = 0;
  if (interruption.compare_exchange_strong(none, signal)) return;
  // Outputs change only by a rename, so every one is old or new; the names
  // of the files under way are all that would stay behind.
  RemoveInFlight([](FileHandle, const NativeChar* path) { unlink(path); });
  _exit(128 + signal);
}

// Whether `error` says that nothing stands at a name (or at a folder on its way).
bool NoSuchFile(const SystemError& error) {
  return error.kind == SystemError::Kind::kSystem && (error.code == ENOENT || error.code == ENOTDIR);
}

}  // namespace

SystemError CreateFolders(const NativeString& path) {
  const NativeString parent = std::filesystem::path(path).parent_path().native();
  if (mkdir(path.c_str(), 0777) == 0) return {};
  if (errno == ENOENT && !parent.empty() && parent != path) {
    if (const SystemError error = CreateFolders(parent)) return error;
    if (mkdir(path.c_str(), 0777) == 0) return {};
  }
  const SystemError error = Errno();
  if (errno != EEXIST) return error;
  // Something stands there: a folder, or what says why it is none.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return Errno();
  return S_ISDIR(info.st_mode) ? SystemError{} : error;
}

Result<FileId> IdentifyFile(const NativeString& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return Failed<FileId>(Errno());
  return {{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}};
}

Result<PathKind> KindOf(const NativeString& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    const SystemError error = Errno();
    return NoSuchFile(error) ? Result<PathKind>{PathKind::kMissing} : Failed<PathKind>(error);
  }
  return S_ISDIR(info.st_mode) ? PathKind::kFolder : S_ISREG(info.st_mode) ? PathKind::kFile : PathKind::kOther;
}

// Links are followed to files but not to folders, so a walk never goes round.
Result<std::vector<FolderEntry>> ListFolder(const NativeString& path) {
  struct Closer {
    void operator()(DIR* folder) const { closedir(folder); }
  };
  const std::unique_ptr<DIR, Closer> folder(opendir(path.c_str()));
  if (!folder) return Failed<std::vector<FolderEntry>>(Errno());
  std::vector<FolderEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(folder.get());
    if (!entry) break;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry::Kind kind = FolderEntry::Kind::kOther;
    struct stat info;
    if (entry->d_type == DT_DIR) {
      kind = FolderEntry::Kind::kFolder;
    } else if (entry->d_type == DT_REG) {
      kind = FolderEntry::Kind::kFile;
    } else if (fstatat(dirfd(folder.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
               (S_ISDIR(info.st_mode) || S_ISREG(info.st_mode))) {
      kind = S_ISDIR(info.st_mode) ? FolderEntry::Kind::kFolder : FolderEntry::Kind::kFile;
    } else if (fstatat(dirfd(folder.get()), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode)) {
      kind = FolderEntry::Kind::kFile;
    }
    entries.push_back({NativeString(name), kind});
  }
  if (errno != 0) return Failed<std::vector<FolderEntry>>(Errno());
  return {std::move(entries)};
}

Result<std::vector<NativeString>> OperandNames(const NativeString& operand) { return {{operand}}; }

NativeString ErrorText(int code) { return strerror(code); }

bool TooManyOpenFiles(const SystemError& error) {
  return error.kind == SystemError::Kind::kSystem && (error.code == EMFILE || error.code == ENFILE);
}

std::size_t OpenFileLimit() {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return SIZE_MAX;
  return static_cast<std::size_t>(limit.rlim_cur);
}

NativeString NameKey(const NativeString& absolute) { return absolute; }

bool PrefersJapanese() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string_view(value).starts_with("ja");
  }
  return false;
}

void OpenStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    // The lowest free descriptor is the one that is closed.
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);
  }
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

// Calls interrupted by the signal go on where they were (SA_RESTART): the
// program asks for the interruption between files, and no call of it waits
// for anything but files and its own threads.
void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before;
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

int InterruptStatus() {
  const int signal = interruption.load();
  return signal ? 128 + signal : 0;
}

SystemError WriteText(Stream stream, const NativeString& text) {
  const int fd = stream == Stream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  const char* data = text.data();
  std::size_t size = text.size();
  while (size > 0) {
    const ssize_t n = Retried([&] { return write(fd, data, size); });
    if (n < 0) return Errno();
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return {};
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

NativeString EnvironmentValue(const NativeChar* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
