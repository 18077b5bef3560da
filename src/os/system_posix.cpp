#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>

#include "posix_calls.h"
#include "system.h"

SystemError CreateFolders(const NativeString& path) {
  const NativeString parent = std::filesystem::path(path).parent_path().native();
  if (mkdir(path.c_str(), 0777) == 0) return {};
  if (errno == ENOENT && !parent.empty() && parent != path) {
    if (const SystemError error = CreateFolders(parent)) return error;
    if (mkdir(path.c_str(), 0777) == 0) return {};
  }
  const SystemError error = Errno();
  struct stat info;
  return errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? SystemError{} : error;
}

Result<FileId> IdentifyFile(const NativeString& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return Failed<FileId>(Errno());
  return {{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}};
}

PathKind KindOf(const NativeString& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return PathKind::kMissing;
  return S_ISDIR(info.st_mode) ? PathKind::kFolder : S_ISREG(info.st_mode) ? PathKind::kFile : PathKind::kOther;
}

Result<std::int64_t> ModifiedTime(const NativeString& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return Failed<std::int64_t>(Errno());
  return {std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
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

bool IsMissing(const SystemError& error) {
  return error.kind == SystemError::Kind::kSystem && (error.code == ENOENT || error.code == ENOTDIR);
}

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
