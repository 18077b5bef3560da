// Helpers the conversion shares for files and buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <utility>

#include "error.h"

// The size of every buffer a conversion moves bytes through: small enough
// for memory to stay small whatever the payload, large enough for a typical
// payload to be written with one call.
inline constexpr std::size_t kTransferSize = 256 * 1024;

// Buffers start on a page: the system copies to and from them at full speed
// only so, two and a half times as fast as from a buffer 16 bytes past one.
inline constexpr std::size_t kBufferAlignment = 4096;
struct FreeAligned {
  void operator()(std::uint8_t* bytes) const { ::operator delete[](bytes, std::align_val_t{kBufferAlignment}); }
};
using Buffer = std::unique_ptr<std::uint8_t[], FreeAligned>;

// The buffers one conversion at a time moves bytes through. A batch keeps
// one for each of its threads from one file to the next, so that a file
// costs no memory of its own.
class Workspace {
 public:
  // Whether the buffers could be had; false when memory runs out.
  bool Ready();
  std::span<std::uint8_t> reading() const { return {reading_.get(), kTransferSize}; }
  std::span<std::uint8_t> writing() const { return {writing_.get(), kTransferSize}; }
  std::span<std::uint8_t> gathering() const { return {gathering_.get(), kTransferSize}; }

 private:
  Buffer reading_, writing_, gathering_;
};

// Closes its file when it goes out of scope; Close() reports the result for
// the files whose contents matter.
class ScopedFile {
 public:
  ScopedFile(Platform& os, FileHandle file) : os_(os), file_(file) {}
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() { Close(); }

  FileHandle get() const { return file_; }
  // Closes the file held, if any, and holds `file` instead.
  void Reset(FileHandle file) {
    Close();
    file_ = file;
  }
  SystemError Close() {
    const FileHandle file = std::exchange(file_, kNoFile);
    return file == kNoFile ? SystemError{} : os_.Close(file);
  }

 private:
  Platform& os_;
  FileHandle file_;
};

// Where the file an output replaces is kept: a numbered name is a new one,
// refused when it was taken meanwhile; any other replaces the backup before.
struct BackupName {
  NativeString path;
  bool numbered = false;
};

// Names the backup of `output`, or says why it cannot. Asked only once the
// output's staging file is held, so that no other conversion of that output
// takes a name in between.
using BackupNamer = std::function<Result<BackupName>(const NativeString& output)>;

// An output on its way: written under a staging name that no other
// conversion may take meanwhile, it replaces the output in one step on
// Commit(), and is removed when it goes out of scope uncommitted.
class StagedOutput {
 public:
  explicit StagedOutput(Platform& os) : os_(os) {}
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  ~StagedOutput();

  // Creates the staging file `staging` for `output`.
  Error Take(const NativeString& staging, const NativeString& output);
  FileHandle file() const { return staging_.file; }
  // Closes the staging file and gives it the output's name. With `backup`,
  // whatever stands at that name is kept first under the name it gives,
  // which *kept then holds; it stays kept if the staging file then cannot
  // take the name.
  Error Commit(const BackupNamer& backup = {}, NativeString* kept = nullptr);

 private:
  Platform& os_;
  Staging staging_;
  NativeString stagingName_;
  NativeString outputName_;
};

// A file written through a buffer: pieces that meet end to end are
// gathered and go out together, a buffer a call. An output on kNoFile, a
// check's, takes everything and writes nothing.
class BufferedOutput {
 public:
  BufferedOutput(Platform& os, FileHandle file, std::span<std::uint8_t> buffer) : os_(os), file_(file), buffer_(buffer) {}

  // `bytes` next, or `size` zeros.
  SystemError Put(std::span<const std::uint8_t> bytes);
  SystemError PutZeros(std::uint64_t size);
  // Goes on at `offset`, sending what is held first unless it ends there.
  SystemError MoveTo(std::uint64_t offset);
  // Room for at most `most` bytes next, to be filled in place and then
  // taken with Take(); never empty for `most` > 0, since a full buffer goes out first.
  Result<std::span<std::uint8_t>> Room(std::uint64_t most);
  void Take(std::size_t size) { held_ += size; }
  SystemError Flush();

 private:
  Platform& os_;
  FileHandle file_;
  std::span<std::uint8_t> buffer_;
  std::uint64_t offset_ = 0;  // of the buffer's first byte in the file
  std::size_t held_ = 0;
};

// Uninitialised bytes from the start of a page, or nullptr when `size`
// cannot be had (including sizes beyond this process's address space).
Buffer AllocateBytes(std::uint64_t size);

// Writes all `size` bytes at `offset`; fails if the system takes fewer.
SystemError WriteAllAt(Platform& os, FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                       std::uint64_t size);
