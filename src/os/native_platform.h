// The running system's files and paths. Programs add how a notice is shown.
#pragma once

#include "../convert/platform.h"

class NativePlatform : public Platform {
 public:
  FileHandle OpenForRead(const NativeString& path) override;
  std::int64_t FileSize(FileHandle file) override;
  FileHandle CreateForWrite(const NativeString& path) override;
  std::int64_t ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) override;
  std::int64_t WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                       std::size_t size) override;
  bool Close(FileHandle file) override;
  bool Replace(const NativeString& from, const NativeString& to) override;
  bool Delete(const NativeString& path) override;
  bool AbsolutePath(const NativeString& path, NativeString* absolute) override;
  int LastError() const override { return error_; }
  // Creates the folder `path` and any missing above it; true also when a
  // folder stands there already.
  bool CreateFolders(const NativeString& path);

 protected:
  // Keeps `code` as the reason for the failure being reported; returns -1,
  // which is also kNoFile.
  std::int64_t Fail(int code);
  // Keeps the system's code for the call just made unless it is `done`.
  bool Check(bool done);

 private:
  int error_ = 0;
};

// The system's own description of an error code from LastError().
NativeString ErrorText(int code);

// A form of an absolute path that is equal for two paths exactly when the
// system takes them for the same name: letter case folded where names ignore it.
NativeString NameKey(const NativeString& absolute);

// Whether the user reads Japanese: a Japanese user interface language on
// Windows, LC_ALL, LC_MESSAGES or LANG starting with "ja" elsewhere.
bool PrefersJapanese();

enum class Stream { kOutput, kError };

// Writes `text` so that a person reading it sees the characters: UTF-16 to a
// Windows console, UTF-8 when redirected there, the bytes as they are elsewhere.
void WriteText(Stream stream, const NativeString& text);

// Whether standard error is a terminal a person watches.
bool StandardErrorIsTerminal();
