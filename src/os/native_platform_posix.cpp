#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "native_platform.h"
#include "posix_calls.h"

namespace {

// Taking a staging name may race with another process taking it; a few
// rounds settle which one has it.
constexpr int kCreateAttempts = 3;

int Fd(FileHandle file) { return static_cast<int>(file); }

// Whether `path` still names the file open as `fd`.
bool Names(const NativeString& path, int fd) {
  struct stat open, named;
  return fstat(fd, &open) == 0 && lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// Removes whatever stands at the staging name `path`, unless another
// conversion holds it: the lock a staging file keeps from its creation to
// its rename says so. A stale one is locked before it is removed, so two
// processes never both take it.
SystemError RemoveStale(const NativeString& path) {
  const int fd = Retried([&] { return open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
  // A link, or a name that cannot be read: no conversion's own file.
  if (fd < 0) return unlink(path.c_str()) == 0 || errno == ENOENT ? SystemError{} : Errno();
  SystemError error;
  if (Retried([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0)
    error = errno == EWOULDBLOCK ? SystemError{SystemError::Kind::kBusy} : Errno();
  else if (Names(path, fd) && unlink(path.c_str()) != 0 && errno != ENOENT)
    error = Errno();
  close(fd);
  return error;
}

}  // namespace

Result<FileHandle> NativePlatform::OpenForRead(const NativeString& path) {
  // O_NONBLOCK keeps a FIFO under a .gif name from stalling the open; it means
  // nothing for the regular files that are let through.
  const int fd = Retried([&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) return Failed<FileHandle>(Errno());
  struct stat info;
  const SystemError error = fstat(fd, &info) != 0  ? Errno()
                            : S_ISREG(info.st_mode) ? SystemError{}
                                                    : SystemError{SystemError::Kind::kNotAFile};
  if (!error) return {fd};
  close(fd);
  return Failed<FileHandle>(error);
}

Result<std::uint64_t> NativePlatform::FileSize(FileHandle file) {
  struct stat info;
  if (fstat(Fd(file), &info) != 0) return Failed<std::uint64_t>(Errno());
  return {static_cast<std::uint64_t>(info.st_size)};
}

Result<FileStamp> NativePlatform::Stamp(FileHandle file) {
  struct stat info;
  if (fstat(Fd(file), &info) != 0) return Failed<FileStamp>(Errno());
  const auto nanoseconds = [](const timespec& time) { return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec; };
  return {{static_cast<std::uint64_t>(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)}};
}

Result<std::size_t> NativePlatform::ReadAt(FileHandle file, std::uint64_t offset, void* buffer,
                                           std::size_t size) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return Failed<std::size_t>(SystemError::System(EFBIG));
  const ssize_t n = Retried([&] { return pread(Fd(file), buffer, size, static_cast<off_t>(offset)); });
  if (n < 0) return Failed<std::size_t>(Errno());
  return {static_cast<std::size_t>(n)};
}

Result<std::size_t> NativePlatform::WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                                            std::size_t size) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return Failed<std::size_t>(SystemError::System(EFBIG));
  const ssize_t n = Retried([&] { return pwrite(Fd(file), data, size, static_cast<off_t>(offset)); });
  if (n < 0) return Failed<std::size_t>(Errno());
  return {static_cast<std::size_t>(n)};
}

SystemError NativePlatform::Close(FileHandle file) { return close(Fd(file)) == 0 ? SystemError{} : Errno(); }

// The staging file is created only where nothing stands (O_EXCL never follows
// a link), and locked; the hold is a second descriptor of it, so the lock
// outlives the close that tells whether the data reached the system.
Result<Staging> NativePlatform::CreateStaging(const NativeString& path) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const int fd = Retried([&] { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
    if (fd < 0) {
      if (errno != EEXIST) return Failed<Staging>(Errno());
      if (const SystemError error = RemoveStale(path)) return Failed<Staging>(error);
      continue;
    }
    if (Retried([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
      // Another process took it for a stale one between the create and the lock.
      const SystemError error = errno == EWOULDBLOCK ? SystemError{SystemError::Kind::kBusy} : Errno();
      close(fd);
      return Failed<Staging>(error);
    }
    // Removed by one that took it for stale before it was locked: start again.
    struct stat info;
    if (fstat(fd, &info) != 0 || info.st_nlink == 0) {
      close(fd);
      continue;
    }
    const int hold = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (hold >= 0) return {{fd, hold}};
    const SystemError error = Errno();
    unlink(path.c_str());
    close(fd);
    return Failed<Staging>(error);
  }
  return Failed<Staging>({SystemError::Kind::kBusy});
}

SystemError NativePlatform::CopyPermissions(FileHandle from, FileHandle to) {
  struct stat info;
  if (fstat(Fd(from), &info) != 0) return Errno();
  // Only a privileged process gives a file away, and only to a group of its
  // own otherwise; what it may not set stays its own.
  if (fchown(Fd(to), info.st_uid, info.st_gid) != 0) {
    if (errno != EPERM) return Errno();
    if (fchown(Fd(to), static_cast<uid_t>(-1), info.st_gid) != 0 && errno != EPERM) return Errno();
  }
  // After the owner, which clears the set-id bits.
  return fchmod(Fd(to), info.st_mode & 07777) == 0 ? SystemError{} : Errno();
}

SystemError NativePlatform::Replace(FileHandle hold, const NativeString& from, const NativeString& to) {
  if (rename(from.c_str(), to.c_str()) != 0) return Errno();
  close(Fd(hold));
  return {};
}

SystemError NativePlatform::Delete(FileHandle hold, const NativeString& path) {
  const SystemError error = unlink(path.c_str()) == 0 ? SystemError{} : Errno();
  close(Fd(hold));
  return error;
}

Result<NativeString> NativePlatform::AbsolutePath(const NativeString& path) {
  if (path.empty()) return {{}, SystemError::System(ENOENT)};
  // The programs never change their working folder, so it is asked for once.
  static const Result<NativeString> cwd = [] {
    const std::unique_ptr<char, decltype(&std::free)> name(getcwd(nullptr, 0), &std::free);
    return name ? Result<NativeString>{name.get()} : Result<NativeString>{{}, SystemError::System(errno)};
  }();
  if (path.front() != '/' && !cwd.Ok()) return cwd;
  const NativeString joined = path.front() == '/' ? path : cwd.value + '/' + path;

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
  NativeString absolute;
  for (const NativeString& name : names) absolute += '/' + name;
  // A trailing separator names a directory and keeps the final name empty.
  if (absolute.empty() || joined.back() == '/') absolute += '/';
  return {absolute};
}
