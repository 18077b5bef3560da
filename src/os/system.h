// What else the command-line tools ask of the system, beside the files a
// conversion works on.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../native.h"

// Creates the folder `path` and any missing above it; no error when a folder
// stands there already.
SystemError CreateFolders(const NativeString& path);

// What tells one file from another, however it is named: device and file
// number, or volume serial and file index.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  auto operator<=>(const FileId&) const = default;
};
Result<FileId> IdentifyFile(const NativeString& path);

enum class PathKind { kMissing, kFolder, kFile, kOther };
// What `path` names, links followed: kMissing also when it cannot be looked at.
PathKind KindOf(const NativeString& path);

// When the file `path` names last changed, in the system's own units.
Result<std::int64_t> ModifiedTime(const NativeString& path);

struct FolderEntry {
  enum class Kind { kFolder, kFile, kOther };  // links followed; kOther: anything else, dangling links too
  NativeString name;
  Kind kind;
};
// The entries of the folder `path`, "." and ".." left out.
Result<std::vector<FolderEntry>> ListFolder(const NativeString& path);

// Whether `error` says that nothing stands at the name asked for, as
// opposed to something that could not be looked at.
bool IsMissing(const SystemError& error);

// The system's own description of an error code.
NativeString ErrorText(int code);

// Whether `error` says that this process has run out of file descriptors or
// handles, which a moment later it may have again.
bool TooManyOpenFiles(const SystemError& error);

// How many files the program may keep open at once, all told.
std::size_t OpenFileLimit();

// A form of an absolute path that is equal for two paths exactly when the
// system takes them for the same name: letter case folded where names ignore it.
NativeString NameKey(const NativeString& absolute);

// Whether the user reads Japanese: a Japanese user interface language on
// Windows, LC_ALL, LC_MESSAGES or LANG starting with "ja" elsewhere.
bool PrefersJapanese();

// Makes the standard streams safe before any file is opened: each that is
// closed is opened on the null device, so no file the program opens takes
// its place, and a closed pipe is a write error rather than a signal.
void OpenStandardStreams();

enum class Stream { kOutput, kError };

// Writes `text` so that a person reading it sees the characters: UTF-16 to a
// Windows console, UTF-8 when redirected there, the bytes as they are
// elsewhere. Fails when the stream takes it not whole.
SystemError WriteText(Stream stream, const NativeString& text);

// Whether standard error is a terminal a person watches.
bool StandardErrorIsTerminal();

// The value of the environment variable `name`, empty when it is not set.
NativeString EnvironmentValue(const NativeChar* name);
