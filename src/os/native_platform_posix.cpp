#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "in_flight.h"
#include "native_platform.h"
#include "posix_calls.h"

namespace {

// Taking a staging name may race with another process taking it; a few
// rounds settle which one has it.
constexpr int kCreateAttempts = 3;

// A backup copied where no second link can be made moves through this much at a time.
constexpr std::size_t kCopyBuffer = 256 * 1024;

int Fd(FileHandle file) { return static_cast<int>(file); }

FileStamp StampOf(const struct stat& info) {
  const auto nanoseconds = [](const timespec& time) { return std::int64_t{time.tv_sec} * 1000000000 + time.tv_nsec; };
  return {static_cast<std::uint64_t>(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim),
          static_cast<std::uint32_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

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

// The test seam's pause: stopped until a test lets the process go on.
void StopAt(PauseAt pause, const char* step, const NativeString& staging) {
  if (pause && pause(step, staging)) raise(SIGSTOP);
}

// Whether open refused O_TMPFILE as a file system or kernel without it does.
bool NoUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// Gives the unnamed file open as `fd` the name `path`; EEXIST when taken.
// Naming a descriptor takes a privilege; without it, the link /proc keeps
// for it names it as well.
int LinkUnnamed(int fd, const NativeString& path) {
  static std::atomic<bool> privileged = true;
  if (privileged && linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
  if (privileged && errno != ENOENT && errno != EPERM) return -1;
  privileged = false;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
}

// A descriptor that is its own, locked staging file under `path`, or EEXIST
// when something stands there; kTakenAway when the older way lost the new
// file to a process that took it for stale before it was locked.
constexpr int kTakenAway = -2;
Result<int> CreateLocked(const NativeString& path, PauseAt pause) {
  static std::atomic<bool> unnamed = true;
  if (unnamed) {
    const std::size_t slash = path.rfind('/');
    const NativeString folder = slash == NativeString::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = Retried([&] { return open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); });
    if (fd >= 0) {
      // No one else can know the file yet, so the lock is had at once.
      if (Retried([&] { return flock(fd, LOCK_EX); }) != 0) {
        const SystemError error = Errno();
        close(fd);
        return Failed<int>(error);
      }
      StopAt(pause, "created", path);
      if (LinkUnnamed(fd, path) == 0) return {fd};
      const SystemError error = Errno();
      close(fd);
      if (error == SystemError::System(EEXIST)) return Failed<int>(error);
      // Without /proc, an unprivileged process cannot name the file: the older way.
    } else if (!NoUnnamedFiles(errno)) {
      return Failed<int>(Errno());
    }
    unnamed = false;
  }
  const int fd = Retried([&] { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
  if (fd < 0) return Failed<int>(Errno());
  StopAt(pause, "created", path);
  if (Retried([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    // Another process took it for a stale one between the create and the
    // lock, and removes it; any other failure (no lock manager, as on NFS
    // without one) leaves the new file this process's own to remove.
    if (errno == EWOULDBLOCK) {
      close(fd);
      return Failed<int>({SystemError::Kind::kBusy});
    }
    const SystemError error = Errno();
    if (Names(path, fd)) unlink(path.c_str());
    close(fd);
    return Failed<int>(error);
  }
  // Removed by one that took it for stale before it was locked: start again.
  struct stat info;
  if (fstat(fd, &info) == 0 && info.st_nlink > 0) return {fd};
  close(fd);
  return {kTakenAway};
}

// Whether link failed because this file can have no further name here: the
// file system keeps none (FAT), it has as many as it may (EMLINK), or this
// process may not link another's file (protected hard links).
bool NoFurtherLink(int error) {
  return error == EPERM || error == EMLINK || error == EOPNOTSUPP || error == ENOSYS || error == EXDEV;
}

// Copies the regular file `from` to `to`, created where nothing stands, with
// its data on the disk, its permission bits and times, and its owner and
// group where this process may set them; removes `to` when it fails.
SystemError CopyWhole(Platform& os, const NativeString& from, const NativeString& to) {
  const int in = Retried([&] { return open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
  if (in < 0) return Errno();
  struct stat info;
  const SystemError opened = fstat(in, &info) != 0   ? Errno()
                             : S_ISREG(info.st_mode) ? SystemError{}
                                                     : SystemError{SystemError::Kind::kNotAFile};
  if (opened) {
    close(in);
    return opened;
  }
  const int out = Retried([&] { return open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600); });
  if (out < 0) {
    const SystemError error = Errno();
    close(in);
    return error;
  }
  std::vector<char> buffer(kCopyBuffer);
  SystemError error;
  for (off_t at = 0; !error;) {
    const ssize_t n = Retried([&] { return pread(in, buffer.data(), buffer.size(), at); });
    if (n <= 0) {
      if (n < 0) error = Errno();
      break;
    }
    for (ssize_t done = 0; done < n && !error;) {
      const ssize_t written = Retried([&] { return pwrite(out, buffer.data() + done, static_cast<std::size_t>(n - done), at + done); });
      if (written < 0) error = Errno();
      else done += written;
    }
    at += n;
  }
  // The times are set last, since every write moves them.
  const timespec times[2] = {info.st_atim, info.st_mtim};
  if (!error) error = os.CopyPermissions(StampOf(info), out);
  if (!error && (futimens(out, times) != 0 || fsync(out) != 0)) error = Errno();
  if (close(out) != 0 && !error) error = Errno();
  close(in);
  if (error) unlink(to.c_str());
  return error;
}

// Renames `from` to `to` unless something stands there: EEXIST then. A file
// system that cannot refuse a rename so is asked first whether it stands.
int RenameToNew(const NativeString& from, const NativeString& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  struct stat info;
  if (lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return -1;
  }
  return rename(from.c_str(), to.c_str());
}

}  // namespace

Result<OpenedFile> NativePlatform::OpenForRead(const NativeString& path) {
  // O_NONBLOCK keeps a FIFO under a .gif name from stalling the open; it means
  // nothing for the regular files that are let through.
  const int fd = Retried([&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) {
    const bool missing = errno == ENOENT || errno == ENOTDIR;
    return Failed<OpenedFile>({missing ? SystemError::Kind::kMissing : SystemError::Kind::kSystem, errno});
  }
  struct stat info;
  const SystemError error = fstat(fd, &info) != 0  ? Errno()
                            : S_ISREG(info.st_mode) ? SystemError{}
                                                    : SystemError{SystemError::Kind::kNotAFile};
  if (!error) return {{fd, StampOf(info)}};
  close(fd);
  return Failed<OpenedFile>(error);
}

Result<std::uint64_t> NativePlatform::FileSize(FileHandle file) {
  struct stat info;
  if (fstat(Fd(file), &info) != 0) return Failed<std::uint64_t>(Errno());
  return {static_cast<std::uint64_t>(info.st_size)};
}

Result<FileStamp> NativePlatform::Stamp(FileHandle file) {
  struct stat info;
  if (fstat(Fd(file), &info) != 0) return Failed<FileStamp>(Errno());
  return {StampOf(info)};
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

// The staging file is created unnamed and locked, and only then takes its
// name, which linkat refuses when anything stands there: no other process
// ever sees a live conversion's staging file unlocked. A file system that
// cannot create unnamed files (as NFS cannot) takes the older way: an
// O_EXCL create, the lock, and a check that the name is still the file,
// which leaves a moment in which a second process can take the new file for
// a stale one. Either way the hold is a second descriptor, so the lock
// outlives the close that tells whether the data reached the system.
Result<Staging> NativePlatform::CreateStaging(const NativeString& path) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const Result<int> created = CreateLocked(path, pause_);
    if (!created.Ok()) {
      if (created.error != SystemError::System(EEXIST)) return Failed<Staging>(created.error);
      if (const SystemError error = RemoveStale(path)) return Failed<Staging>(error);
      continue;
    }
    const int fd = created.value;
    if (fd == kTakenAway) continue;
    const int hold = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (hold >= 0) {
      EnterInFlight(hold, path);
      StopAt(pause_, "staged", path);
      return {{fd, hold}};
    }
    const SystemError error = Errno();
    unlink(path.c_str());
    close(fd);
    return Failed<Staging>(error);
  }
  return Failed<Staging>({SystemError::Kind::kBusy});
}

SystemError NativePlatform::CopyPermissions(const FileStamp& from, FileHandle to) {
  struct stat now;
  if (fstat(Fd(to), &now) != 0) return Errno();
  // Only a privileged process gives a file away, and only to a group of its
  // own otherwise; what it may not set stays its own.
  if (now.st_uid != from.owner || now.st_gid != from.group) {
    if (fchown(Fd(to), from.owner, from.group) != 0) {
      if (errno != EPERM) return Errno();
      if (fchown(Fd(to), static_cast<uid_t>(-1), from.group) != 0 && errno != EPERM) return Errno();
    }
    now.st_mode = 0;  // a change of owner clears the set-id bits
  }
  if ((now.st_mode & 07777) != from.mode && fchmod(Fd(to), from.mode) != 0) return Errno();
  return {};
}

SystemError NativePlatform::Replace(FileHandle hold, const NativeString& from, const NativeString& to) {
  StopAt(pause_, "replace", from);
  LeaveInFlight(hold);
  if (rename(from.c_str(), to.c_str()) != 0) return Errno();
  close(Fd(hold));
  return {};
}

// A second link keeps the very file, its bytes, mode and times; a numbered
// backup is linked at its own name, which link refuses when it is taken,
// and a simple one at the staging name, then renamed over the one before.
Result<bool> NativePlatform::KeepBackup(const NativeString& file, const NativeString& backup,
                                        const NativeString& staging, bool replace) {
  const NativeString& first = replace ? staging : backup;
  if (replace && unlink(staging.c_str()) != 0 && errno != ENOENT) return Failed<bool>(Errno());
  bool copied = false;
  if (linkat(AT_FDCWD, file.c_str(), AT_FDCWD, first.c_str(), 0) != 0) {
    const int error = errno;
    struct stat info;
    if (lstat(file.c_str(), &info) != 0 && errno == ENOENT) return {false};
    if (error == EEXIST && !replace) return Failed<bool>({SystemError::Kind::kTaken});
    if (!NoFurtherLink(error)) return Failed<bool>(SystemError::System(error));
    if (!replace && unlink(staging.c_str()) != 0 && errno != ENOENT) return Failed<bool>(Errno());
    if (const SystemError copy = CopyWhole(*this, file, staging)) return Failed<bool>(copy);
    copied = true;
  }
  if (replace || copied) {
    if ((replace ? rename(staging.c_str(), backup.c_str()) : RenameToNew(staging, backup)) != 0) {
      const SystemError error = errno == EEXIST && !replace ? SystemError{SystemError::Kind::kTaken} : Errno();
      unlink(staging.c_str());
      return Failed<bool>(error);
    }
  }
  StopAt(pause_, "backed-up", staging);
  return {true};
}

SystemError NativePlatform::CopyFileTo(const NativeString& from, const NativeString& to, const NativeString& staging) {
  if (unlink(staging.c_str()) != 0 && errno != ENOENT) return Errno();
  if (const SystemError copy = CopyWhole(*this, from, staging)) return copy;
  if (rename(staging.c_str(), to.c_str()) == 0) return {};
  const SystemError error = Errno();
  unlink(staging.c_str());
  return error;
}

SystemError NativePlatform::Delete(FileHandle hold, const NativeString& path) {
  LeaveInFlight(hold);
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

  // Names are folded in place: ".." takes back the name before it.
  NativeString absolute;
  absolute.reserve(joined.size());
  for (std::size_t start = 0; start <= joined.size();) {
    std::size_t end = joined.find('/', start);
    if (end == NativeString::npos) end = joined.size();
    const std::string_view name(joined.data() + start, end - start);
    if (name == "..") {
      absolute.resize(absolute.empty() ? 0 : absolute.rfind('/'));
    } else if (!name.empty() && name != ".") {
      absolute.append(1, '/').append(name);
    }
    start = end + 1;
  }
  // A trailing separator names a directory and keeps the final name empty.
  if (absolute.empty() || joined.back() == '/') absolute += '/';
  return {absolute};
}
