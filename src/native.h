// What every part of the program shares: text in the system's own form, and
// the values calls return, with the system's reason when they fail.
#pragma once

#include <string>
#include <utility>

// Paths and texts travel in the system's own form: UTF-16 on Windows, so that
// any file name survives whatever the ANSI code page; bytes elsewhere.
#ifdef _WIN32
using NativeChar = wchar_t;
#define NATIVE_TEXT(s) L##s
#else
using NativeChar = char;
#define NATIVE_TEXT(s) s
#endif
using NativeString = std::basic_string<NativeChar>;

// Why a call failed.
struct SystemError {
  enum class Kind {
    kNone,
    kSystem,    // `code` is the system's own (errno, GetLastError)
    kMissing,   // nothing stands at the name opened; `code` is the system's own
    kNotAFile,  // the name holds something other than a regular file
    kBusy,      // another conversion holds the staging file
    kDiffers,   // an output compared with a file that stands is not the same
    kTaken,     // a name that was to be new stands already
  };
  Kind kind = Kind::kNone;
  int code = 0;

  static SystemError System(int code) { return {Kind::kSystem, code}; }
  // Whether the system said why, in words ErrorText gives.
  bool Said() const { return (kind == Kind::kSystem || kind == Kind::kMissing) && code != 0; }
  explicit operator bool() const { return kind != Kind::kNone; }
  bool operator==(const SystemError&) const = default;
};

// A call's value, or why there is none.
template <typename T>
struct Result {
  Result() = default;
  Result(T v) : value(std::move(v)) {}  // a call that did what was asked
  Result(T v, SystemError e) : value(std::move(v)), error(e) {}

  bool Ok() const { return !error; }

  T value{};
  SystemError error;
};
