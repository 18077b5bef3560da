// The text files a run writes beside its pictures, as the catalogue's page,
// index and checksums are written: UTF-8, JSON strings, a buffered text
// output, and the whole file staged so that it takes its name complete.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "../convert/file_io.h"

// Text as UTF-8. On Windows a UTF-16 unit of no character, which only a
// name can hold, is written as its code point would be, so that it is never lost.
std::string Utf8(const NativeString& text);

// A JSON string of UTF-8 `text`.
std::string Json(std::string_view text);

// A text file as it is written, through `buffer`; its first failure kept.
class TextOut {
 public:
  TextOut(OutputTarget& target, std::span<std::uint8_t> buffer) : out_(target, buffer) {}

  TextOut& operator<<(std::string_view text) {
    if (!error_) error_ = out_.Put({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    return *this;
  }
  SystemError Flush() {
    if (!error_) error_ = out_.Flush();
    return error_;
  }

 private:
  BufferedOutput out_;
  SystemError error_;
};

// Writes the file `path` as `fill` gives it, through a staging file; what
// went wrong, in words, or nothing.
NativeString WriteTextFile(Platform& os, const NativeString& path, const std::function<void(TextOut&)>& fill);

// When the files a run writes were made, in UTC, as "2026-12-09T10:00:00Z":
// now, or SOURCE_DATE_EPOCH where it is set, as reproducible builds ask.
std::string MadeDate();

// Whether anything stands at `path`: what cannot be looked at stands in the
// way of a file to write there as much as what stands there.
bool Stands(const NativeString& path);

// Whether the file at `path` begins with `mark`; one that cannot be read does not.
bool BeginsWith(Platform& os, const NativeString& path, std::string_view mark);
