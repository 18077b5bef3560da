#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "native_platform.h"

namespace {

// Replacing a name takes an unlink between two exclusive creates; another
// process may slip a new file in between, so a few rounds are allowed.
constexpr int kCreateAttempts = 3;

int Fd(FileHandle file) { return static_cast<int>(file); }

}  // namespace

std::int64_t NativePlatform::Fail(int code) {
  error_ = code;
  return -1;
}

bool NativePlatform::Check(bool done) {
  if (!done) error_ = errno;
  return done;
}

FileHandle NativePlatform::OpenForRead(const NativeString& path) {
  // O_NONBLOCK keeps a FIFO under a .gif name from stalling the open; it means
  // nothing for the regular files that are let through.
  int fd;
  do fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail(errno);
  struct stat info;
  const int error = fstat(fd, &info) != 0 ? errno : S_ISREG(info.st_mode) ? 0 : kNotAFile;
  if (error == 0) return fd;
  close(fd);
  return Fail(error);
}

FileHandle NativePlatform::CreateForWrite(const NativeString& path) {
  // O_EXCL never follows a link, so an existing name is unlinked and created
  // afresh instead of being opened with O_TRUNC.
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno == EINTR) continue;
    if (errno != EEXIST || unlink(path.c_str()) != 0) return Fail(errno);
  }
  return Fail(EEXIST);
}

std::int64_t NativePlatform::FileSize(FileHandle file) {
  struct stat info;
  return fstat(Fd(file), &info) == 0 ? info.st_size : Fail(errno);
}

std::int64_t NativePlatform::ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return Fail(EFBIG);
  ssize_t n;
  do n = pread(Fd(file), buffer, size, static_cast<off_t>(offset));
  while (n < 0 && errno == EINTR);
  return n < 0 ? Fail(errno) : n;
}

std::int64_t NativePlatform::WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                                     std::size_t size) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return Fail(EFBIG);
  ssize_t n;
  do n = pwrite(Fd(file), data, size, static_cast<off_t>(offset));
  while (n < 0 && errno == EINTR);
  return n < 0 ? Fail(errno) : n;
}

bool NativePlatform::Close(FileHandle file) { return Check(close(Fd(file)) == 0); }

bool NativePlatform::Replace(const NativeString& from, const NativeString& to) {
  return Check(rename(from.c_str(), to.c_str()) == 0);
}

bool NativePlatform::Delete(const NativeString& path) {
  return Check(unlink(path.c_str()) == 0);
}

bool NativePlatform::AbsolutePath(const NativeString& path, NativeString* absolute) {
  if (path.empty()) return false;
  // The programs never change their working folder, so it is asked for once.
  static const NativeString cwd = [] {
    const std::unique_ptr<char, decltype(&std::free)> name(getcwd(nullptr, 0), &std::free);
    return name ? NativeString(name.get()) : NativeString();
  }();
  if (path.front() != '/' && cwd.empty()) return false;
  const NativeString joined = path.front() == '/' ? path : cwd + '/' + path;

  std::vector<NativeString> names;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == NativeString::npos) end = joined.size();
    NativeString name = joined.substr(start, end - start);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(std::move(name));
    }
    start = end + 1;
  }
  absolute->clear();
  for (const NativeString& name : names) *absolute += '/' + name;
  // A trailing separator names a directory and keeps the final name empty.
  if (absolute->empty() || joined.back() == '/') *absolute += '/';
  return true;
}

bool NativePlatform::CreateFolders(const NativeString& path) {
  const NativeString parent = std::filesystem::path(path).parent_path().native();
  bool made = Check(mkdir(path.c_str(), 0777) == 0);
  if (!made && LastError() == ENOENT && !parent.empty() && parent != path && CreateFolders(parent))
    made = Check(mkdir(path.c_str(), 0777) == 0);
  struct stat info;
  return made || (LastError() == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

NativeString NameKey(const NativeString& absolute) { return absolute; }

bool PrefersJapanese() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string_view(value).starts_with("ja");
  }
  return false;
}

void WriteText(Stream stream, const NativeString& text) {
  const int fd = stream == Stream::kOutput ? STDOUT_FILENO : STDERR_FILENO;
  const char* data = text.data();
  std::size_t size = text.size();
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

NativeString ErrorText(int code) { return strerror(code); }
