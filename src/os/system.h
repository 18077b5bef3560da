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
// What `path` names, links followed: kMissing when nothing stands there, the
// system's reason when it cannot be looked at.
Result<PathKind> KindOf(const NativeString& path);

struct FolderEntry {
  enum class Kind { kFolder, kFile, kOther };  // links followed; kOther: anything else, dangling links too
  NativeString name;
  Kind kind;
};
// The entries of the folder `path`, "." and ".." left out.
Result<std::vector<FolderEntry>> ListFolder(const NativeString& path);

// The names `operand` stands for. A Windows program gets its command line as
// typed, so there an operand with * or ? in its last name is a pattern: it
// stands for the names in its folder the system matches with it, hidden and
// system files left out as cmd's dir leaves them, in the order NTFS keeps
// them, each after the folder as the operand spells it; for none, with the
// system's reason, when it matches nothing. Elsewhere the shell has matched
// patterns already, and an operand stands for itself.
Result<std::vector<NativeString>> OperandNames(const NativeString& operand);

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
// its place, and a closed pipe or a file grown past the size limit is a
// write error rather than a signal.
void OpenStandardStreams();

// Makes an interruption a request to stop: SIGINT, SIGTERM and SIGHUP, or on
// Windows Ctrl-C, Ctrl-Break and the console closing. The first is only
// noted, for the program to ask InterruptStatus(); a second ends the program
// at once, with 128 + its number, after removing the staging files in
// flight. A signal the program was started ignoring stays ignored.
void CatchInterrupts();

// The exit status the first interruption asks for, 128 + its number; 0 while
// there has been none.
int InterruptStatus();

enum class Stream { kOutput, kError };

// Writes `text` so that a person reading it sees the characters: UTF-16 to a
// Windows console, UTF-8 when redirected there, the bytes as they are
// elsewhere. Fails when the stream takes it not whole.
SystemError WriteText(Stream stream, const NativeString& text);

// Whether standard error is a terminal a person watches.
bool StandardErrorIsTerminal();

// The value of the environment variable `name`, empty when it is not set.
NativeString EnvironmentValue(const NativeChar* name);
