// What a conversion asks of the operating system: files and absolute paths.
// The job sees nothing else of the system, so tests can stand in for any part
// of it. Every call returns its own reason for failing, so one platform
// serves any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../native.h"

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// A staging file: `file` to write, and `hold`, which keeps the name from any
// other conversion from its creation until it is replaced or deleted.
struct Staging {
  FileHandle file = kNoFile;
  FileHandle hold = kNoFile;
};

// What changes whenever a file's data does: its size and its times.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  // Who may do what with it, where the system says so this way.
  std::uint32_t mode = 0;
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  bool operator==(const FileStamp&) const = default;
};

// A file open for reading, and its stamp as it was opened.
struct OpenedFile {
  FileHandle handle = kNoFile;
  FileStamp stamp;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Opens an existing regular file for reading; others may go on reading and
  // writing it. kMissing when nothing stands at `path`.
  virtual Result<OpenedFile> OpenForRead(const NativeString& path) = 0;
  virtual Result<std::uint64_t> FileSize(FileHandle file) = 0;
  virtual Result<FileStamp> Stamp(FileHandle file) = 0;
  // Reads at `offset` from the file's start: the bytes read, 0 at the end of
  // the file, maybe fewer than asked for before it.
  virtual Result<std::size_t> ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) = 0;
  // Writes at `offset` from the file's start: the bytes written, maybe fewer
  // than asked for.
  virtual Result<std::size_t> WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                                      std::size_t size) = 0;
  // Fails when the file's data may not have reached the system; the handle
  // is gone either way.
  virtual SystemError Close(FileHandle file) = 0;
  // Creates an empty file for writing under `path`, which no other
  // conversion may take until the hold goes. Whatever stood there is removed
  // as a name, a link's target never written, unless another conversion
  // holds it: then kBusy.
  virtual Result<Staging> CreateStaging(const NativeString& path) = 0;
  // Gives `to` the permission bits, owner and group of a file stamped
  // `from`, the owner and group where this process may set them.
  virtual SystemError CopyPermissions(const FileStamp& from, FileHandle to) = 0;
  // Gives the staging file held by `hold`, named `from`, whose `file` is
  // closed, the name `to` in one step, and lets go of the hold: whatever file
  // or link stood at `to` is replaced as a name, and `to` never names
  // anything in between. On failure the hold stays.
  virtual SystemError Replace(FileHandle hold, const NativeString& from, const NativeString& to) = 0;
  // Gives the file named `file` the further name `backup`, where it keeps
  // its bytes, permission bits and times, and which is complete or absent
  // whatever happens: a second link to the file, or where the file system
  // has none, a copy made under `staging` (whatever stood there removed)
  // and renamed once its data reached the disk. With `replace`, whatever
  // stood at `backup` is replaced as a name in one step; without, a name
  // that stands already is refused as kTaken. False, with nothing made,
  // when nothing stands at `file`.
  virtual Result<bool> KeepBackup(const NativeString& file, const NativeString& backup, const NativeString& staging,
                                  bool replace) = 0;
  // Gives `to` a copy of the regular file `from`: its bytes, permission bits
  // and times, and its owner and group where this process may set them,
  // made under `staging` (whatever stood there removed) with its data on the
  // disk, then renamed over whatever stood at `to`, which never holds part of it.
  virtual SystemError CopyFileTo(const NativeString& from, const NativeString& to, const NativeString& staging) = 0;
  // Removes the staging file held by `hold`, named `path`, whose `file` is
  // closed, and lets go of the hold, whether or not the removal succeeds.
  virtual SystemError Delete(FileHandle hold, const NativeString& path) = 0;
  // The path as an absolute one, resolved by text alone as the system does
  // for a name given to it ("." and ".." folded, links not followed).
  virtual Result<NativeString> AbsolutePath(const NativeString& path) = 0;
};
