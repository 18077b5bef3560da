#include "report.h"

#include <string>
#include <type_traits>

#include "../os/system.h"
#include "texts.h"

namespace {

constexpr const NativeChar* kClearLine = NATIVE_TEXT("\r\x1b[K");

// Control characters, C1 included, which a terminal may take for commands.
bool IsPrintable(char32_t code) { return code >= 0x20 && code != 0x7F && (code < 0x80 || code > 0x9F); }

// The character that starts at text[at]: its length in units, with its code
// point in *code, or 0 when no whole, valid one starts there.
std::size_t CharacterAt(const NativeString& text, std::size_t at, char32_t* code) {
#ifdef _WIN32
  const char32_t unit = text[at];
  if (unit < 0xD800 || unit > 0xDFFF) return *code = unit, 1;
  if (unit > 0xDBFF || at + 1 == text.size() || text[at + 1] < 0xDC00 || text[at + 1] > 0xDFFF) return 0;
  *code = 0x10000 + ((unit - 0xD800) << 10) + (text[at + 1] - 0xDC00);
  return 2;
#else
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  if (lead < 0x80) return *code = lead, 1;
  // UTF-8 as it is valid: no overlong forms, no surrogates, nothing past U+10FFFF.
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  const unsigned second = byte(at + 1);
  const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (second < low || second > high) return 0;
  char32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(at + i) & 0x3F);
  }
  *code = value;
  return length;
#endif
}

}  // namespace

NativeString Printable(const NativeString& text) {
  NativeString shown;
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = CharacterAt(text, at, &code);
    if (length > 0 && IsPrintable(code)) {
      shown.append(text, at, length);
      at += length;
      continue;
    }
    const std::uint32_t unit = static_cast<std::make_unsigned_t<NativeChar>>(text[at++]);
    if (unit == '\n' || unit == '\t' || unit == '\r') {
      shown += unit == '\n' ? NATIVE_TEXT("\\n") : unit == '\t' ? NATIVE_TEXT("\\t") : NATIVE_TEXT("\\r");
    } else if (unit < 0x80) {
      shown += {'\\', static_cast<NativeChar>('0' + (unit >> 6)), static_cast<NativeChar>('0' + (unit >> 3 & 7)),
                static_cast<NativeChar>('0' + (unit & 7))};
    } else {
      // A byte of no character, or a UTF-16 unit of none, in hexadecimal.
      shown += unit > 0xFF ? NATIVE_TEXT("\\u") : NATIVE_TEXT("\\x");
      for (int shift = unit > 0xFF ? 12 : 4; shift >= 0; shift -= 4) shown += NATIVE_TEXT("0123456789abcdef")[unit >> shift & 15];
    }
  }
  return shown;
}

Report::Report(const Command& command, const Options& options, std::size_t files)
    : prefix_(MessagePrefix(command)),
      options_(options),
      files_(files),
      progressShown_(files > 1 && !options.quiet && StandardErrorIsTerminal()) {}

bool Report::Write(Stream stream, const NativeString& line) {
  ClearProgress();
  const SystemError error = WriteText(stream, Printable(line) + NATIVE_TEXT("\n"));
  if (error && stream == Stream::kOutput) outputError_ = error;
  if (error && stream == Stream::kError) errorFailed_ = true;
  return !error;
}

bool Report::Problem(const NativeString& name, const NativeString& problem, const std::vector<NativeString>& details) {
  ++failed_;
  bool written = Write(Stream::kError, prefix_ + name + NATIVE_TEXT(": ") + problem);
  for (std::size_t i = 0; written && options_.verbose && i < details.size(); ++i)
    written = Write(Stream::kError, NATIVE_TEXT("  ") + details[i]);
  return written;
}

bool Report::Done(const NativeString& line, const std::vector<NativeString>& details) {
  bool written = Write(Stream::kOutput, line);
  for (std::size_t i = 0; written && i < details.size(); ++i) written = Write(Stream::kOutput, NATIVE_TEXT("  ") + details[i]);
  return written;
}

bool Report::Warning(const std::vector<NativeString>& lines) {
  bool written = true;
  for (std::size_t i = 0; written && !options_.quiet && i < lines.size(); ++i)
    written = Write(Stream::kError, (i == 0 ? prefix_ : NativeString(NATIVE_TEXT("  "))) + lines[i]);
  return written;
}

// After a stream failed, the batch stopped short, so there is no sum to tell.
bool Report::Summary(const NativeString& line) {
  return options_.quiet || outputError_ || errorFailed_ || Write(Stream::kError, line);
}

void Report::Progress(std::size_t done, const NativeString& next) {
  if (!progressShown_ || done >= files_) return;
  const std::size_t slash = next.find_last_of(NATIVE_TEXT("/\\"));
  WriteText(Stream::kError, kClearLine + NativeString(NATIVE_TEXT("[")) + Number(done) + NATIVE_TEXT("/") +
                                Number(files_) + NATIVE_TEXT("] ") +
                                Printable(next.substr(slash == NativeString::npos ? 0 : slash + 1)));
  progressVisible_ = true;
}

void Report::ClearProgress() {
  if (progressVisible_) WriteText(Stream::kError, kClearLine);
  progressVisible_ = false;
}

int Report::Finish() {
  ClearProgress();
  if (outputError_ && !errorFailed_)
    Write(Stream::kError, prefix_ + Because(Say(Text::kCannotWriteOutput), outputError_));
  return failed_ || outputError_ || errorFailed_ ? kExitFailed : kExitDone;
}
