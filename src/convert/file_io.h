// Files and buffers as every part of the program moves bytes: one way in
// (BufferedInput), one way out (BufferedOutput onto an OutputTarget), and
// the staged output that replaces a file in one step.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <utility>

#include "error.h"
#include "platform.h"

// The size of every buffer a conversion moves bytes through: small enough
// for memory to stay small whatever the payload, large enough for a typical
// payload to be written with one call.
inline constexpr std::size_t kTransferSize = 256 * 1024;

// What a staging file's name adds to the name of the output it becomes.
inline constexpr const NativeChar* kStagingSuffix = NATIVE_TEXT(".temp");

// Buffers start on a page: the system copies to and from them at full speed
// only so, two and a half times as fast as from a buffer 16 bytes past one.
inline constexpr std::size_t kBufferAlignment = 4096;
struct FreeAligned {
  void operator()(std::uint8_t* bytes) const { ::operator delete[](bytes, std::align_val_t{kBufferAlignment}); }
};
using Buffer = std::unique_ptr<std::uint8_t[], FreeAligned>;

// Uninitialised bytes from the start of a page, or nullptr when `size`
// cannot be had (including sizes beyond this process's address space).
Buffer AllocateBytes(std::uint64_t size);

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

// A file read in order through a buffer, from any offset on.
class BufferedInput {
 public:
  BufferedInput(Platform& os, FileHandle file, std::span<std::uint8_t> buffer, std::uint64_t from = 0)
      : os_(os), file_(file), buffer_(buffer), offset_(from) {}

  // Makes at least one unread byte available, with one read when none is:
  // false at the end of the file. Inline, for a chain asks it twice a sub-block.
  Result<bool> Fill() { return pos_ < end_ ? Result<bool>{true} : Refill(); }
  // Keeps the unread bytes and reads on, a buffer's room at a time, until
  // the buffer is full or holds the file up to `end`: false when it ends before.
  Result<bool> FillTo(std::uint64_t end);
  // The unread bytes held, and taking some of them.
  std::span<const std::uint8_t> Held() const { return std::span<const std::uint8_t>(buffer_).subspan(pos_, end_ - pos_); }
  void Advance(std::size_t size) { pos_ += size; }
  // Where the next unread byte lies in the file, and reading on from another.
  std::uint64_t Offset() const { return offset_ - (end_ - pos_); }
  void MoveTo(std::uint64_t offset);

 private:
  Result<bool> Refill();

  Platform& os_;
  FileHandle file_;
  std::span<std::uint8_t> buffer_;
  std::uint64_t offset_;  // of the buffer's end in the file
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};

// Where an output's bytes go, at any offset: a file, or, for a check,
// nowhere, or a comparison with a file that stands.
class OutputTarget {
 public:
  virtual SystemError WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;

 protected:
  ~OutputTarget() = default;
};

// Writes all the bytes at their offset; fails if the system takes fewer.
class FileTarget final : public OutputTarget {
 public:
  FileTarget(Platform& os, FileHandle file) : os_(os), file_(file) {}
  SystemError WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;

 private:
  Platform& os_;
  FileHandle file_;
};

// Takes everything and writes nothing: a check's output.
class NoTarget final : public OutputTarget {
 public:
  SystemError WriteAt(std::uint64_t, std::span<const std::uint8_t>) override { return {}; }
};

// Whether the bytes written, at their offsets, are exactly those of a file
// that stands, read through `buffer`: every byte of it written once and
// each the same. A write that differs or reaches past the file fails with
// kDiffers, so that no more is made of the output.
class MatchTarget final : public OutputTarget {
 public:
  MatchTarget(Platform& os, const OpenedFile& file, std::span<std::uint8_t> buffer)
      : os_(os), file_(file), buffer_(buffer) {}
  SystemError WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
  // Once the output is made: whether the file holds exactly it, or why it could not be read.
  Result<bool> Same() const;

 private:
  Platform& os_;
  OpenedFile file_;
  std::span<std::uint8_t> buffer_;
  std::uint64_t written_ = 0;
  bool differs_ = false;
  SystemError readError_;
};

// A target written through a buffer: pieces that meet end to end are
// gathered and go out together, a buffer a call.
class BufferedOutput {
 public:
  BufferedOutput(OutputTarget& target, std::span<std::uint8_t> buffer) : target_(target), buffer_(buffer) {}

  // `bytes` next, or `size` zeros.
  SystemError Put(std::span<const std::uint8_t> bytes);
  SystemError PutZeros(std::uint64_t size);
  // Goes on at `offset`, sending what is held first unless it ends there.
  SystemError MoveTo(std::uint64_t offset);
  SystemError Flush();

 private:
  // Room for at most `most` bytes next, never empty for `most` > 0, since a
  // full buffer goes out first; filled in place, then counted with Filled().
  Result<std::span<std::uint8_t>> Room(std::uint64_t most);
  void Filled(std::size_t size) { held_ += size; }

  OutputTarget& target_;
  std::span<std::uint8_t> buffer_;
  std::uint64_t offset_ = 0;  // of the buffer's first byte in the target
  std::size_t held_ = 0;
};

// Where the file an output replaces is kept: a numbered name, which is
// taken only where nothing stands, the next number tried where another
// program took it meanwhile; or any other, which replaces the backup before.
struct BackupName {
  NativeString path;  // empty: no backup
  bool numbered = false;
};

// The numbered name after `name` (NAME.~N~ becomes NAME.~N+1~).
BackupName NextNumbered(const BackupName& name);

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
  Error Create(const NativeString& staging, const NativeString& output);
  FileHandle file() const { return staging_.file; }
  // Closes the staging file and gives it the output's name. With a
  // `backup`, whatever stands at that name is kept first, under the name
  // *kept then holds; it stays kept if the staging file then cannot take
  // the name.
  Error Commit(const BackupName& backup = {}, NativeString* kept = nullptr);

 private:
  Platform& os_;
  Staging staging_;
  NativeString stagingName_;
  NativeString outputName_;
};
