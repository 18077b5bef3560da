// The command-line tools' options: one table, from which each command takes
// the options it knows, and the parsing, usage and help they share.
#pragma once

#include <bitset>
#include <initializer_list>
#include <optional>
#include <vector>

#include "../native.h"
#include "backups.h"

enum class Flag {
  kRecursive, kOutputDir, kFrom, kFormat, kNearest, kPalette, kResize, kReserve, kReview, kForce, kBackup, kSuffix, kDryRun, kJobs, kQuiet, kVerbose, kCatalogue,
  kHelp, kVersion
};

// What a command is asked to do.
struct Options {
  bool recursive = false;
  bool checkOnly = false;
  bool quiet = false;
  bool verbose = false;
  unsigned jobs = 0;       // 0: one per processor
  NativeString outputDir;  // empty: beside each source
  NativeString from;       // empty: the pictures beside each carrier
  bool png = false;        // the pictures as PNG rather than BMP
  bool nearest = false;    // colours a palette lacks stored as its nearest entries
  bool palette = false;    // a picture's palette edit taken into the carrier's palette
  bool resize = false;     // a picture of another size taken at its size
  std::bitset<256> reserved;  // palette entries --nearest never picks
  bool force = false;      // outputs that show an edit replaced all the same
  bool catalogue = false;  // a page, an index and checksums of the whole run
  NativeString review;     // where a page and an index of the whole pack go; empty for none
  // -b, --backup[=CONTROL] and -S SUFFIX as given, and the backups they ask for.
  bool backup = false;
  NativeString backupControl;
  std::optional<NativeString> backupSuffix;
  BackupPolicy backups;
  std::vector<NativeString> operands;
};

// A command: its name, its usage line's arguments, what --help says below
// that line, and the options it takes.
struct Command {
  const char* name;
  const char* synopsis;
  const char* help;
  std::initializer_list<Flag> flags;
};

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Reads the options and operands. Returns -1 to go on, else the exit code:
// after --help or --version, or a usage error, which names the option or
// value on standard error.
int ParseOptions(const Command& command, const std::vector<NativeString>& args, Options* options);

// "<name>: ", which starts every message line, as Unix tools name themselves.
NativeString MessagePrefix(const Command& command);
