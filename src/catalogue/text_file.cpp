#include "text_file.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../cli/texts.h"
#include "../os/system.h"

std::string Utf8(const NativeString& text) {
#ifdef _WIN32
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    const auto put = [&](char32_t bits) { out += static_cast<char>(bits); };
    if (code < 0x80) {
      put(code);
    } else if (code < 0x800) {
      put(0xC0 | code >> 6), put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      put(0xE0 | code >> 12), put(0x80 | (code >> 6 & 0x3F)), put(0x80 | (code & 0x3F));
    } else {
      put(0xF0 | code >> 18), put(0x80 | (code >> 12 & 0x3F)), put(0x80 | (code >> 6 & 0x3F)), put(0x80 | (code & 0x3F));
    }
  }
  return out;
#else
  return text;
#endif
}

std::string Json(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.append(1, '\\').append(1, c);
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

NativeString WriteTextFile(Platform& os, const NativeString& path, const std::function<void(TextOut&)>& fill) {
  const NativeString staging = path + kStagingSuffix;
  StagedOutput staged(os);
  if (const Error error = staged.Create(staging, path)) return Because(Say(Text::kCannotCreate, {staging}), error.cause);
  const Buffer buffer = AllocateBytes(kTransferSize);
  if (!buffer) return Say(Text::kOutOfMemory);
  FileTarget target(os, staged.file());
  TextOut out(target, {buffer.get(), kTransferSize});
  fill(out);
  if (const SystemError error = out.Flush()) return Because(Say(Text::kCannotWrite, {path}), error);
  if (const Error error = staged.Commit())
    return Because(Say(error.step == Step::kWriteOutput ? Text::kCannotWrite : Text::kCannotReplace, {path}), error.cause);
  return {};
}

bool Stands(const NativeString& path) {
  const Result<PathKind> kind = KindOf(path);
  return !kind.Ok() || kind.value != PathKind::kMissing;
}

bool BeginsWith(Platform& os, const NativeString& path, std::string_view mark) {
  const Result<OpenedFile> opened = os.OpenForRead(path);
  if (!opened.Ok()) return false;
  ScopedFile closing(os, opened.value.handle);
  std::uint8_t start[64];
  if (mark.size() > sizeof start || opened.value.stamp.size < mark.size()) return false;
  BufferedInput in(os, opened.value.handle, start);
  const Result<bool> filled = in.FillTo(mark.size());
  return filled.Ok() && filled.value && in.Held().size() >= mark.size() &&
         std::memcmp(in.Held().data(), mark.data(), mark.size()) == 0;
}

std::string MadeDate() {
  using namespace std::chrono;
  sys_seconds when = floor<seconds>(system_clock::now());
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
    char* end = nullptr;
    const long long seconds = std::strtoll(epoch, &end, 10);
    if (*end == '\0' && seconds >= 0) when = sys_seconds(std::chrono::seconds(seconds));
  }
  const sys_days day = floor<days>(when);
  const year_month_day date(day);
  const hh_mm_ss time(when - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}
