// How a conversion fails: what went wrong, at which step, and the system's
// reason where it has one.
#pragma once

#include "../native.h"

enum class Status {
  kOk,
  kBadExtension,  // the name does not end in ".gif" or ".GIF"
  kUnsupported,   // not a carrier GIF
  kCutShort,      // a carrier GIF whose file ends inside its chain
  kDamaged,       // a carrier GIF whose bitmap does not fit its payload
  kIoError,       // a file could not be opened, created, read, written or removed
  kOutOfMemory,
  kBusy,          // another conversion is writing the same output
  kRefused,       // the writer cannot make its output of this bitmap; it tells why
};

// The file operation a conversion was on when it failed.
enum class Step {
  kNone,
  kOpenSource,     // with kUnsupported: the source cannot be opened
  kReadSource,     // with kUnsupported: what was read is no carrier of a bitmap
  kCreateOutput,   // the staging file cannot be created
  kWriteOutput,    // the staging file cannot be written or closed
  kReadOutput,     // what stands at the output's name cannot be looked at or read
  kKeepBackup,     // the file the output replaces cannot be kept as its backup
  kReplaceOutput,  // the staging file cannot take the output's name
};

struct Error {
  Error() = default;
  Error(Status status, Step step = Step::kNone, SystemError cause = {}) : status(status), step(step), cause(cause) {}

  Status status = Status::kOk;
  Step step = Step::kNone;
  SystemError cause;

  explicit operator bool() const { return status != Status::kOk; }
};
