#include "catalogue.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "../convert/file_io.h"
#include "../os/paths.h"
#include "describe.h"
#include "report.h"
#include "catalogue_page.h"
#include "texts.h"

namespace {

constexpr const NativeChar* kPageName = NATIVE_TEXT("index.html");
constexpr const NativeChar* kIndexName = NATIVE_TEXT("index.json");
constexpr const NativeChar* kSumsName = NATIVE_TEXT("SHA256SUMS");

// A JSON string of UTF-8 `text`.
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

// A name in the index: as the command line shows it, valid UTF-8 whatever
// the name holds; and where that is not the name itself, `field` with the
// name's own units in hexadecimal (its bytes, or on Windows its UTF-16 code
// units as Windows holds them, little-endian), so that a script can have it
// exactly.
std::string JsonName(std::string_view field, const NativeString& name) {
  const NativeString shown = Printable(name);
  std::string out = Json(Utf8(shown));
  if (shown == name) return out;
  const std::span<const std::uint8_t> units(reinterpret_cast<const std::uint8_t*>(name.data()),
                                            name.size() * sizeof(NativeChar));
  return out + ", " + Json(field) + ": " + Json(HexOf(units));
}

std::string Digits(std::uint64_t value) { return std::to_string(value); }

template <typename T>
std::string JsonValue(const std::optional<T>& value) {
  if (!value) return "null";
  if constexpr (std::is_same_v<T, Sha256Digest>) return Json(HexOf(*value));
  else return Digits(*value);
}

// When the catalogue was made, in UTC: now, or SOURCE_DATE_EPOCH where it
// is set, as reproducible builds ask.
std::string Date() {
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

#ifdef _WIN32
constexpr const NativeChar* kSeparators = L"\\/";
constexpr bool kDrives = true;
bool SameName(const NativeString& a, const NativeString& b) { return NameKey(a) == NameKey(b); }
#else
constexpr const NativeChar* kSeparators = "/";
constexpr bool kDrives = false;
bool SameName(const NativeString& a, const NativeString& b) { return a == b; }
#endif

// The names of an absolute path, its root first: "" for "/", or a drive.
std::vector<NativeString> NamesOf(const NativeString& absolute) {
  std::vector<NativeString> names;
  for (std::size_t start = 0;;) {
    const std::size_t end = absolute.find_first_of(kSeparators, start);
    names.push_back(absolute.substr(start, end - start));
    if (end == NativeString::npos) break;
    start = end + 1;
  }
  while (names.size() > 1 && names.back().empty()) names.pop_back();
  return names;
}

// A name in a URL: every byte but the unreserved ones escaped, so that
// "#", "?", "%", a drive's ":" and any byte of another script reach the file.
std::string Escaped(const std::string& name) {
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
        c == '~') {
      out += c;
    } else {
      out.append(1, '%').append(1, "0123456789ABCDEF"[byte >> 4]).append(1, "0123456789ABCDEF"[byte & 15]);
    }
  }
  return out;
}

// `to` seen from the folder `from`, whose names NamesOf gave, both absolute:
// relative where they share a root (on Windows, a drive), else whole, as a
// file: URL, which only a name on another drive or share needs.
Place PlaceOf(const std::vector<NativeString>& from, const NativeString& to) {
  const std::vector<NativeString> names = NamesOf(to);
  std::size_t common = 0;
  while (common < from.size() && common < names.size() && SameName(from[common], names[common])) ++common;
  Place place;
  if (common == 0 || (kDrives && from[0].empty())) {
    // A drive's colon stays as it is, where a URL needs it so.
    place.path = Utf8(names[0]);
    place.link = names[0].empty() ? "file:" : "file:///" + place.path;
    for (std::size_t i = 1; i < names.size(); ++i) {
      place.path += '/' + Utf8(names[i]);
      place.link += '/' + Escaped(Utf8(names[i]));
    }
    return place;
  }
  const auto add = [&](const std::string& name, const std::string& link) {
    if (!place.path.empty()) place.path += '/', place.link += '/';
    place.path += name;
    place.link += link;
  };
  for (std::size_t i = common; i < from.size(); ++i) add("..", "..");
  for (std::size_t i = common; i < names.size(); ++i) add(Utf8(names[i]), Escaped(Utf8(names[i])));
  return place;
}

// Writes the file `path` as `fill` gives it, through a staging file; what
// went wrong, in words, or nothing.
NativeString Put(Platform& os, const NativeString& path, const std::function<void(TextOut&)>& fill) {
  const NativeString staging = path + kStagingSuffix;
  StagedOutput staged(os);
  if (const Error error = staged.Take(staging, path)) return Because(Say(Text::kCannotCreate, {staging}), error.cause);
  const Buffer buffer = AllocateBytes(kTransferSize);
  if (!buffer) return Say(Text::kOutOfMemory);
  TextOut out(os, staged.file(), {buffer.get(), kTransferSize});
  fill(out);
  if (const SystemError error = out.Flush()) return Because(Say(Text::kCannotWrite, {path}), error);
  if (const Error error = staged.Commit())
    return Because(Say(error.step == Step::kWriteOutput ? Text::kCannotWrite : Text::kCannotReplace, {path}), error.cause);
  return {};
}

// Whether the file at `path` begins with `mark`; one that cannot be read does not.
bool Begins(Platform& os, const NativeString& path, std::string_view mark) {
  const Result<OpenedFile> opened = os.OpenForRead(path);
  if (!opened.Ok()) return false;
  ScopedFile closing(os, opened.value.handle);
  std::string start(mark.size(), '\0');
  std::size_t held = 0;
  while (held < start.size()) {
    const Result<std::size_t> n = os.ReadAt(opened.value.handle, held, start.data() + held, start.size() - held);
    if (!n.Ok() || n.value == 0) return false;
    held += n.value;
  }
  return start == mark;
}

const char* OutcomeName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kConverted: return "converted";
    case Verdict::kKeptAsBmp: return "kept-as-bmp";
    case Verdict::kKept: return "kept";
    case Verdict::kChecked: return "checked";
    case Verdict::kFailed: break;
  }
  return "failed";
}

void WriteIndex(const CatalogueRun& run, TextOut& out) {
  const Catalogue& catalogue = run.catalogue;
  out << kIndexMark << " " << Json(kCatalogueVersion).substr(1) << ",\n \"date\": " << Json(run.date)
      << ",\n \"checkOnly\": " << (catalogue.checkOnly ? "true" : "false")
      << ",\n \"summary\": " << Json(Utf8(Printable(catalogue.summary))) << ",\n \"carriers\": [";
  const char* separator = "\n";
  for (const CatalogueRecord& r : catalogue.records) {
    const Evidence& e = r.evidence;
    const auto number = [&](std::int64_t value) { return r.sized ? std::to_string(value) : std::string("null"); };
    out << separator << "  {\"source\": " << JsonName("sourceHex", r.source)
        << ", \"output\": " << (r.output.empty() ? "null" : JsonName("outputHex", r.output))
        << ", \"outcome\": \"" << OutcomeName(r.verdict) << "\", \"reason\": "
        << (r.reason.empty() ? "null" : Json(Utf8(Printable(r.reason)))) << ", \"width\": " << number(r.width)
        << ", \"height\": " << number(r.height) << ", \"bitsPerPixel\": " << (r.depth ? Digits(r.depth) : "null")
        << ", \"form\": " << (r.form ? Json(r.form) : "null")
        << ", \"description\": " << (r.formWords.empty() ? "null" : Json(Utf8(Printable(r.formWords))))
        << ", \"rows\": " << (r.rows ? Json(r.rows) : "null") << ", \"paletteLength\": " << Digits(e.palette.size())
        << ", \"carrierBytes\": " << JsonValue(e.carrierBytes) << ", \"payloadBytes\": " << JsonValue(r.payloadBytes)
        << ", \"outputBytes\": " << JsonValue(e.outputBytes) << ", \"carrierSha256\": " << JsonValue(e.carrier)
        << ", \"payloadSha256\": " << JsonValue(e.payload) << ", \"outputSha256\": " << JsonValue(e.output) << "}";
    separator = ",\n";
  }
  out << "\n ]\n}\n";
}

// sha256sum's own form: a name holding a backslash or a line break is
// escaped, and its line marked so with a backslash.
void WriteSums(const CatalogueRun& run, TextOut& out) {
  std::vector<std::pair<std::string, const Sha256Digest*>> sums;
  std::map<std::string, std::size_t> listed;  // an output written twice is listed once, as it stands
  for (std::size_t i = 0; i < run.catalogue.records.size(); ++i) {
    const Evidence& evidence = run.catalogue.records[i].evidence;
    if (!run.places[i] || !evidence.output) continue;
    const auto [at, added] = listed.try_emplace(run.places[i]->path, sums.size());
    if (added) sums.emplace_back(run.places[i]->path, &*evidence.output);
    else sums[at->second].second = &*evidence.output;
  }
  for (const auto& [path, digest] : sums) {
    std::string name;
    for (const char c : path) name += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    out << (name.size() != path.size() ? "\\" : "") << HexOf(*digest) << "  " << name << "\n";
  }
}

}  // namespace

// Text as UTF-8, which the page, the index and the checksums are written
// in. On Windows a UTF-16 unit of no character, which only a name can hold,
// is written as its code point would be, so that it is never lost.
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

CatalogueRecord RecordOf(const Entry& entry, const NativeChar* suffix, bool checkOnly) {
  CatalogueRecord record;
  record.source = entry.source;
  record.evidence = entry.evidence;
  const bool failed = entry.outcome.error || !entry.problem.empty();
  if (failed) {
    record.reason = entry.problem.empty() ? OutcomeProblem(entry, suffix) : entry.problem;
  } else if (checkOnly) {
    record.verdict = Verdict::kChecked;
  } else {
    record.verdict = entry.kept ? Verdict::kKept : entry.writtenAsBmp ? Verdict::kKeptAsBmp : Verdict::kConverted;
    record.output = entry.base + (entry.writtenAsBmp ? kBmpSuffix : suffix);
    if (entry.kept && !entry.warnings.empty()) record.reason = entry.warnings.front();
  }
  // What the payload showed of itself, once it came whole: to its
  // conversion, or to the check that kept an edit.
  if (!entry.evidence.payload && !entry.kept) return record;
  const BitmapInfo& bitmap = entry.outcome.bitmap;
  record.payloadBytes = bitmap.bytes;
  record.sized = bitmap.hasFields;
  record.width = bitmap.width;
  record.height = bitmap.height < 0 ? -std::int64_t{bitmap.height} : bitmap.height;
  record.depth = bitmap.header.depth;
  switch (bitmap.form) {
    case BitmapForm::kRows:
      record.form = bitmap.header.Indexed()                   ? "palette"
                    : bitmap.header.compression == bmp::kRgb ? "rgb"
                                                             : "bitfields";
      record.formWords = DepthText(bitmap);
      record.rows = bitmap.rowBytes == bitmap.writtenRowBytes ? "padded" : "packed";
      break;
    case BitmapForm::kCompressed: record.form = "compressed", record.formWords = BitmapTrouble(bitmap); break;
    case BitmapForm::kPlain: record.form = "no-header", record.formWords = BitmapTrouble(bitmap); break;
  }
  if (!failed && !entry.kept && !entry.evidence.showsPicture) record.reason = BitmapTrouble(bitmap);
  return record;
}

NativeString CatalogueBlocked(Platform& os, const NativeString& folder, bool checkOnly) {
  // What cannot be looked at stands in the way as much as what stands there.
  const auto stands = [](const NativeString& path) {
    const Result<PathKind> kind = KindOf(path);
    return !kind.Ok() || kind.value != PathKind::kMissing;
  };
  const NativeString page = JoinPath(folder, kPageName), index = JoinPath(folder, kIndexName),
                     sums = JoinPath(folder, kSumsName);
  const bool indexStands = stands(index);
  const bool indexOurs = indexStands && Begins(os, index, kIndexMark);
  if (stands(page) && !Begins(os, page, kPageMark)) return Say(Text::kCatalogueNotOurs, {page});
  if (indexStands && !indexOurs) return Say(Text::kCatalogueNotOurs, {index});
  if (!checkOnly && stands(sums) && !indexOurs) return Say(Text::kCatalogueNotOurs, {sums});
  return {};
}

std::vector<NativeString> WriteCatalogue(Platform& os, const Catalogue& catalogue) {
  const NativeString& folder = catalogue.folder;
  if (!folder.empty()) {
    if (const SystemError error = CreateFolders(folder)) return {Because(Say(Text::kCannotCreateFolder, {folder}), error)};
  }
  if (NativeString blocked = CatalogueBlocked(os, folder, catalogue.checkOnly); !blocked.empty()) return {blocked};
  const Result<NativeString> here = os.AbsolutePath(folder.empty() ? NATIVE_TEXT(".") : folder);
  if (!here.Ok()) return {Because(Say(Text::kCannotWrite, {JoinPath(folder, kPageName)}), here.error)};
  CatalogueRun run{catalogue, Date(), {}};
  const std::vector<NativeString> from = NamesOf(here.value);
  for (const CatalogueRecord& record : catalogue.records) {
    const Result<NativeString> output = os.AbsolutePath(record.output);
    run.places.push_back(record.output.empty() || !output.Ok() ? std::nullopt : std::optional(PlaceOf(from, output.value)));
  }
  std::vector<NativeString> problems;
  const auto put = [&](const NativeChar* name, const std::function<void(TextOut&)>& fill) {
    if (NativeString problem = Put(os, JoinPath(folder, name), fill); !problem.empty()) problems.push_back(problem);
  };
  put(kIndexName, [&](TextOut& out) { WriteIndex(run, out); });
  if (!catalogue.checkOnly) put(kSumsName, [&](TextOut& out) { WriteSums(run, out); });
  const NativeString title = NamesOf(here.value).back();
  put(kPageName, [&](TextOut& out) { WritePage(run, Say(Text::kCatalogueTitle, {title.empty() ? here.value : title}), out); });
  return problems;
}
