// What a conversion asks of the operating system: files, absolute paths and
// a way to put a notice in front of the user. The job sees nothing else of
// the system, so tests can stand in for any part of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Paths and notices travel in the system's own text form: UTF-16 on Windows,
// so that any file name survives whatever the ANSI code page; bytes elsewhere.
#ifdef _WIN32
using NativeChar = wchar_t;
#define NATIVE_TEXT(s) L##s
#else
using NativeChar = char;
#define NATIVE_TEXT(s) s
#endif
using NativeString = std::basic_string<NativeChar>;

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

class Platform {
 public:
  virtual ~Platform() = default;

  // Opens an existing regular file for reading; others may go on reading and
  // writing it. kNoFile when that is not possible.
  virtual FileHandle OpenForRead(const NativeString& path) = 0;
  // The size of an open file in bytes, or -1.
  virtual std::int64_t FileSize(FileHandle file) = 0;
  // Creates an empty file for writing under `path`. Whatever file or link
  // stood there is replaced as a name: a link's target is never written.
  virtual FileHandle CreateForWrite(const NativeString& path) = 0;
  // Reads at `offset` from the file's start. Returns the bytes read, 0 at the
  // end of the file, -1 on error. May return fewer bytes than asked for
  // before the end.
  virtual std::int64_t ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) = 0;
  // Writes at `offset` from the file's start. Returns the bytes written,
  // which may be fewer than asked for, or -1.
  virtual std::int64_t WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                               std::size_t size) = 0;
  // False when the file's data may not have reached the system.
  virtual bool Close(FileHandle file) = 0;
  // Gives the closed file `from` the name `to` in one step: whatever file or
  // link stood at `to` is replaced as a name, and `to` never names anything
  // in between.
  virtual bool Replace(const NativeString& from, const NativeString& to) = 0;
  virtual bool Delete(const NativeString& path) = 0;
  // The path as an absolute one, resolved by text alone as the system does
  // for a name given to it ("." and ".." folded, links not followed).
  virtual bool AbsolutePath(const NativeString& path, NativeString* absolute) = 0;
  // Shows one notice and returns once the user has seen it.
  virtual void ShowNotice(const NativeString& text) = 0;
  // The system's code (errno, GetLastError) for the latest call above that
  // failed, or kNotAFile when OpenForRead met something else than a file.
  virtual int LastError() const = 0;
};

inline constexpr int kNotAFile = -1;
