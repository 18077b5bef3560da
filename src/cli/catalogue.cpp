#include "catalogue.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <type_traits>

#include "../convert/file_io.h"
#include "../os/paths.h"
#include "describe.h"
#include "report.h"
#include "texts.h"
#include "version.h"

namespace {

constexpr const NativeChar* kPageName = NATIVE_TEXT("index.html");
constexpr const NativeChar* kIndexName = NATIVE_TEXT("index.json");
constexpr const NativeChar* kSumsName = NATIVE_TEXT("SHA256SUMS");
constexpr const char* kVersion = QUILLANE_PRODUCT_VERSION_STR " (" QUILLANE_FILE_VERSION_STR ")";

// How the page and the index begin when --catalogue made them; SHA256SUMS
// has no room for a mark, and counts as made so when the index beside it was.
constexpr std::string_view kPageMark = "<!DOCTYPE html>\n<!-- made by quillane-convert -->\n";
constexpr std::string_view kIndexMark = "{\"generator\": \"quillane-convert";

// The page's style and script, allowed by their hashes alone: nothing else
// runs or styles the page, whatever a name slipped into it.
constexpr std::string_view kStyle = R"css(
:root { font: 14px/1.4 system-ui, sans-serif; color: #1d1d1f; background: #f3f3f1; }
body { margin: 0; }
header { position: sticky; top: 0; z-index: 1; background: #fff; border-bottom: 1px solid #c8c8c8; padding: .6rem 1rem; }
h1 { font-size: 1.2rem; margin: 0 0 .2rem; overflow-wrap: anywhere; }
.summary { margin: 0 0 .5rem; color: #444; }
.controls { display: flex; flex-wrap: wrap; gap: .5rem 1.5rem; align-items: center; }
.controls fieldset { display: flex; gap: .6rem; align-items: center; border: 0; margin: 0; padding: 0; }
.controls legend { float: left; font-weight: 600; margin-right: .2rem; padding: 0; }
.controls label { white-space: nowrap; }
.controls > label { font-weight: 600; }
.controls input[type=search], .controls select { font: inherit; margin-left: .3rem; }
main { padding: .3rem 1rem 1.5rem; }
h2 { font-size: 1rem; margin: 1.1rem 0 .5rem; overflow-wrap: anywhere; }
.tiles { display: flex; flex-wrap: wrap; gap: .75rem; align-items: flex-start; }
.tile { content-visibility: auto; contain-intrinsic-size: auto 12rem auto 10rem; margin: 0; width: min-content; min-width: 12rem; max-width: 100%; background: #fff; border: 1px solid #d0d0d0; border-radius: 4px; }
.tile.failed { border-color: #c0392b; }
.pic { display: flex; align-items: center; justify-content: center; min-height: 4.5rem; overflow: auto; padding: 8px; border-radius: 3px 3px 0 0; }
.pic a, .pic img { display: block; }
.pic img { image-rendering: pixelated; }
.bg-black .pic { background: #000; }
.bg-white .pic { background: #fff; }
.bg-checks .pic { background: repeating-conic-gradient(#c9c9c9 0 25%, #f5f5f5 0 50%) 0 0 / 16px 16px; }
.pic.none { background: #ececec; color: #555; font-style: italic; text-align: center; }
.failed .pic.none { background: #fdecea; color: #8e1b10; font-style: normal; }
figcaption { padding: .4rem .55rem .55rem; font-size: .8rem; color: #333; overflow-wrap: anywhere; }
figcaption > span { display: block; white-space: pre-line; }
.name { font-weight: 600; color: #000; }
canvas.palette { display: block; box-sizing: border-box; width: 100%; height: 12px; margin-top: .35rem; border: 1px solid #888; image-rendering: pixelated; }
footer { padding: 0 1rem 1rem; color: #555; }
[hidden] { display: none !important; }
:focus-visible { outline: 2px solid #1a5fd0; outline-offset: 2px; }
)css";

constexpr std::string_view kScript = R"js(
"use strict";
(function () {
  var doc = document, list = function (selector) { return Array.prototype.slice.call(doc.querySelectorAll(selector)); };
  var tiles = list(".tile"), sections = list("main section"), images = list(".pic img");
  var names = tiles.map(function (tile) { return tile.querySelector(".name").title.toLowerCase(); });
  var sizes = images.map(function (image) { return [+image.getAttribute("width"), +image.getAttribute("height")]; });
  var filter = doc.getElementById("filter"), form = doc.getElementById("form"), shown = doc.getElementById("shown");
  var say = function (pattern, values) {
    var next = 0;
    return pattern.replace(/\{(\d?)\}/g, function (all, n) { return String(values[n === "" ? next++ : +n]); });
  };
  var apply = function () {
    var words = filter.value.trim().toLowerCase(), group = form.value, count = 0;
    tiles.forEach(function (tile, i) {
      var show = names[i].indexOf(words) >= 0 && (group === "" || tile.getAttribute("data-form") === group);
      tile.hidden = !show;
      count += show ? 1 : 0;
    });
    sections.forEach(function (section) { section.hidden = !section.querySelector(".tile:not([hidden])"); });
    shown.textContent = say(shown.getAttribute("data-pattern"), [count, tiles.length]);
  };
  filter.addEventListener("input", apply);
  form.addEventListener("change", apply);
  list("input[name=zoom]").forEach(function (input) {
    input.addEventListener("change", function () {
      images.forEach(function (image, i) { image.width = sizes[i][0] * input.value; image.height = sizes[i][1] * input.value; });
    });
  });
  list("input[name=background]").forEach(function (input) {
    input.addEventListener("change", function () { doc.body.className = "bg-" + input.value; });
  });
  doc.addEventListener("keydown", function (event) {
    if (event.key === "/" && doc.activeElement !== filter) { event.preventDefault(); filter.focus(); }
  });
  // A picture loads, and a palette is drawn one pixel an entry, as its tile
  // comes near the view: the browser's own lazy loading weighs on every
  // layout of a large page while it is read, this only once it is.
  var near = function (act) {
    var observer = new IntersectionObserver(function (entries) {
      entries.forEach(function (entry) {
        if (entry.isIntersecting) { observer.unobserve(entry.target); act(entry.target); }
      });
    }, { rootMargin: "600px" });
    return function (element) { observer.observe(element); };
  };
  images.forEach(near(function (image) { image.src = image.getAttribute("data-src"); }));
  var palettes = JSON.parse(doc.getElementById("palettes").textContent);
  var draw = function (canvas) {
    var hex = palettes[+canvas.getAttribute("data-palette")], count = hex.length / 6;
    var context = canvas.getContext("2d"), strip = context.createImageData(count, 1);
    for (var i = 0; i < count; i++) {
      for (var c = 0; c < 3; c++) strip.data[4 * i + c] = parseInt(hex.substr(6 * i + 2 * c, 2), 16);
      strip.data[4 * i + 3] = 255;
    }
    context.putImageData(strip, 0, 0);
  };
  list("canvas.palette").forEach(near(draw));
  apply();
})();
)js";

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

// A text of names or words for the page: escaped as the command line shows
// it, then for HTML, in text and in quoted attributes alike.
std::string Html(const NativeString& text) {
  std::string out;
  for (const char c : Utf8(Printable(text))) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

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
// units, each little-endian), so that a script can have it exactly.
std::string JsonName(std::string_view field, const NativeString& name) {
  const NativeString shown = Printable(name);
  std::string out = Json(Utf8(shown));
  if (shown == name) return out;
  std::string hex;
  for (const NativeChar unit : name) {
    const auto value = static_cast<std::make_unsigned_t<NativeChar>>(unit);
    for (std::size_t byte = 0; byte < sizeof unit; ++byte) {
      const unsigned bits = value >> (8 * byte) & 0xFF;
      hex.append(1, "0123456789abcdef"[bits >> 4]).append(1, "0123456789abcdef"[bits & 15]);
    }
  }
  return out + ", " + Json(field) + ": " + Json(hex);
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

std::string Base64(const Sha256Digest& digest) {
  constexpr const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < digest.size(); i += 3) {
    const std::size_t left = digest.size() - i;
    const std::uint32_t bits = std::uint32_t{digest[i]} << 16 | (left > 1 ? digest[i + 1] << 8 : 0) | (left > 2 ? digest[i + 2] : 0);
    for (std::size_t k = 0; k < 4; ++k) out += k <= left ? kDigits[bits >> (18 - 6 * k) & 63] : '=';
  }
  return out;
}

std::string HashSource(std::string_view text) {
  Sha256 hash;
  hash.Update({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  return "'sha256-" + Base64(hash.Finish()) + "'";
}

// Where an output lies seen from the catalogue's folder.
struct Place {
  std::string link;  // a URL relative to the page where it can be one, each byte outside the unreserved escaped
  std::string path;  // the same as a path, for SHA256SUMS
};

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

// A file of the catalogue, written a buffer at a time, its first failure kept.
class TextOut {
 public:
  TextOut(Platform& os, FileHandle file) : os_(os), file_(file) {}

  TextOut& operator<<(std::string_view text) {
    buffer_ += text;
    if (buffer_.size() >= kTransferSize) Flush();
    return *this;
  }
  SystemError Flush() {
    if (!error_) error_ = WriteAllAt(os_, file_, offset_, reinterpret_cast<const std::uint8_t*>(buffer_.data()), buffer_.size());
    offset_ += buffer_.size();
    buffer_.clear();
    return error_;
  }

 private:
  Platform& os_;
  FileHandle file_;
  std::uint64_t offset_ = 0;
  std::string buffer_;
  SystemError error_;
};

// Writes the file `path` as `fill` gives it, through a staging file; what
// went wrong, in words, or nothing.
NativeString Put(Platform& os, const NativeString& path, const std::function<void(TextOut&)>& fill) {
  const NativeString staging = path + kStagingSuffix;
  StagedOutput staged(os);
  if (const Error error = staged.Take(staging, path)) return Because(Say(Text::kCannotCreate, {staging}), error.cause);
  TextOut out(os, staged.file());
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

// The choice under which the form filter shows a record, and where it
// stands among the others: palettes, then channels, by depth; the rest after.
struct Group {
  NativeString label;
  std::uint32_t rank = 0;
  bool operator<(const Group& other) const { return rank != other.rank ? rank < other.rank : label < other.label; }
};
constexpr std::uint32_t kCompressedRank = 1000, kNoHeaderRank = 1001, kFailedRank = 1002;

Group GroupOf(const CatalogueRecord& record) {
  const std::string_view form = record.form ? record.form : "";
  if (record.verdict == Verdict::kFailed || form.empty()) return {Say(Text::kCatalogueFailed), kFailedRank};
  if (form == "palette") return {Say(Text::kCataloguePaletteGroup, {Number(record.depth)}), record.depth * 2u};
  if (form == "compressed") return {record.formWords, kCompressedRank};
  if (form == "no-header") return {record.formWords, kNoHeaderRank};
  return {record.formWords, record.depth * 2u + 1};
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

std::string Palette(const std::vector<Rgba>& palette) {
  std::string hex;
  for (const Rgba& colour : palette) {
    for (std::size_t i = 0; i < 3; ++i)
      hex.append(1, "0123456789abcdef"[colour[i] >> 4]).append(1, "0123456789abcdef"[colour[i] & 15]);
  }
  return hex;
}

// What the page and the index share of the whole run.
struct Run {
  const Catalogue& catalogue;
  std::string date;
  std::vector<std::optional<Place>> places;  // of each record's output
};

void WriteIndex(const Run& run, TextOut& out) {
  const Catalogue& catalogue = run.catalogue;
  out << kIndexMark << " " << Json(kVersion).substr(1) << ",\n \"date\": " << Json(run.date)
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
void WriteSums(const Run& run, TextOut& out) {
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

void WriteTile(const CatalogueRecord& r, const std::optional<Place>& place, std::size_t group, std::size_t palette,
               TextOut& out) {
  const NativeString name = NameOf(r.source);
  out << "<figure class=\"tile" << (r.verdict == Verdict::kFailed ? " failed" : "") << "\" data-form=\""
      << std::to_string(group) << "\">";
  if (r.verdict == Verdict::kFailed) {
    out << "<div class=\"pic none\">" << Html(r.reason) << "</div>";
  } else if (!r.reason.empty() && r.verdict != Verdict::kKept) {
    out << "<div class=\"pic none\">" << Html(Say(Text::kCatalogueNoPicture, {r.reason})) << "</div>";
  } else if (place && (r.verdict == Verdict::kConverted || r.verdict == Verdict::kKept)) {
    out << "<div class=\"pic\"><a href=\"" << place->link << "\"><img data-src=\"" << place->link << "\" alt=\"" << Html(name)
        << "\" width=\"" << std::to_string(r.width) << "\" height=\"" << std::to_string(r.height) << "\"></a></div>";
  }
  // The facts a line each, in one element: a large page parses as fast as its elements are few.
  std::vector<NativeString> facts;
  if (r.verdict == Verdict::kKept) facts.push_back(r.reason);
  if (r.sized) facts.push_back(Say(Text::kCatalogueSize, {Number(r.width), Number(r.height)}));
  if (!r.formWords.empty()) facts.push_back(r.formWords);
  if (r.rows) facts.push_back(Say(std::string_view(r.rows) == "packed" ? Text::kCatalogueRowsPacked : Text::kCatalogueRowsPadded));
  if (r.evidence.carrierBytes)
    facts.push_back(Say(Text::kCatalogueCarrierBytes, {Number(static_cast<long long>(*r.evidence.carrierBytes))}));
  out << "<figcaption><span class=\"name\" title=\"" << Html(r.source) << "\">" << Html(name) << "</span><span>";
  for (std::size_t i = 0; i < facts.size(); ++i) out << (i ? "\n" : "") << Html(facts[i]);
  out << "</span>";
  if (!r.evidence.palette.empty())
    out << "<canvas class=\"palette\" data-palette=\"" << std::to_string(palette) << "\" width=\""
        << std::to_string(r.evidence.palette.size()) << "\" height=\"1\" title=\"" << Html(Say(Text::kCataloguePalette))
        << "\"></canvas>";
  out << "</figcaption></figure>\n";
}

void WritePage(const Run& run, const NativeString& title, TextOut& out) {
  const Catalogue& catalogue = run.catalogue;
  // The form filter's choices, and each palette once, for every tile on it.
  std::map<Group, std::size_t> groups;
  std::vector<Group> groupOf;
  std::map<std::string, std::size_t> paletteIds;
  std::vector<std::size_t> paletteOf;
  std::uint64_t carrierBytes = 0, outputBytes = 0;
  for (const CatalogueRecord& record : catalogue.records) {
    groupOf.push_back(GroupOf(record));
    ++groups[groupOf.back()];
    paletteOf.push_back(paletteIds.try_emplace(Palette(record.evidence.palette), paletteIds.size()).first->second);
    carrierBytes += record.evidence.carrierBytes.value_or(0);
    outputBytes += record.evidence.outputBytes.value_or(0);
  }
  std::map<Group, std::size_t> groupIds;
  for (const auto& [group, count] : groups) groupIds.emplace(group, groupIds.size());

  out << kPageMark << "<html lang=\"" << Utf8(Say(Text::kCatalogueLanguage)) << "\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"generator\" content=\"quillane-convert " << kVersion << "\">\n"
      << "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src 'self' file:; style-src "
      << HashSource(kStyle) << "; script-src " << HashSource(kScript) << "; base-uri 'none'; form-action 'none'\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" << Html(title)
      << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body class=\"bg-checks\">\n<header>\n<h1>" << Html(title)
      << "</h1>\n<p class=\"summary\">" << Html(catalogue.summary) << " · "
      << Html(Say(Text::kCatalogueBytes, {Number(static_cast<long long>(carrierBytes)), Number(static_cast<long long>(outputBytes))}))
      << " · " << Html(Say(Text::kCatalogueMade, {NativeString(kVersion, kVersion + std::char_traits<char>::length(kVersion)),
                                                     NativeString(run.date.begin(), run.date.end())}));
  if (catalogue.checkOnly) out << " · " << Html(Say(Text::kCatalogueChecked));
  out << "</p>\n<div class=\"controls\">\n<label>" << Html(Say(Text::kCatalogueName))
      << "<input type=\"search\" id=\"filter\" autocomplete=\"off\" spellcheck=\"false\"></label>\n<label>"
      << Html(Say(Text::kCatalogueForm)) << "<select id=\"form\"><option value=\"\">" << Html(Say(Text::kCatalogueAll))
      << " (" << std::to_string(catalogue.records.size()) << ")</option>";
  for (const auto& [group, id] : groupIds)
    out << "<option value=\"" << std::to_string(id) << "\">" << Html(group.label) << " (" << std::to_string(groups[group])
        << ")</option>";
  out << "</select></label>\n<fieldset><legend>" << Html(Say(Text::kCatalogueZoom)) << "</legend>";
  for (const char* factor : {"1", "2", "4"})
    out << "<label><input type=\"radio\" name=\"zoom\" value=\"" << factor << "\"" << (factor[0] == '1' ? " checked" : "")
        << "> " << factor << "×</label>";
  out << "</fieldset>\n<fieldset><legend>" << Html(Say(Text::kCatalogueBackground)) << "</legend>";
  const std::pair<const char*, Text> backgrounds[] = {
      {"black", Text::kCatalogueBlack}, {"white", Text::kCatalogueWhite}, {"checks", Text::kCatalogueChecks}};
  for (const auto& [value, text] : backgrounds)
    out << "<label><input type=\"radio\" name=\"background\" value=\"" << value << "\""
        << (std::string_view(value) == "checks" ? " checked" : "") << "> " << Html(Say(text)) << "</label>";
  out << "</fieldset>\n<output id=\"shown\" aria-live=\"polite\" data-pattern=\"" << Html(Say(Text::kCatalogueShown, {NATIVE_TEXT("{0}"), NATIVE_TEXT("{1}")}))
      << "\"></output>\n</div>\n</header>\n<main>\n";

  // A heading each time the folder changes, in the order of the tree.
  std::optional<NativeString> folder;
  for (std::size_t i = 0; i < catalogue.records.size(); ++i) {
    const CatalogueRecord& record = catalogue.records[i];
    NativeString here = FolderOf(record.source);
    if (here.empty()) here = NATIVE_TEXT(".");
    if (here != folder) {
      out << (folder ? "</div>\n</section>\n" : "") << "<section>\n<h2>" << Html(here) << "</h2>\n<div class=\"tiles\">\n";
      folder = here;
    }
    WriteTile(record, run.places[i], groupIds[groupOf[i]], paletteOf[i], out);
  }
  out << (folder ? "</div>\n</section>\n" : "") << "</main>\n<footer><a href=\"index.json\">index.json</a>";
  if (!catalogue.checkOnly) out << " · <a href=\"SHA256SUMS\">SHA256SUMS</a>";
  out << "</footer>\n<script type=\"application/json\" id=\"palettes\">[";
  std::vector<const std::string*> palettes(paletteIds.size());
  for (const auto& [hex, id] : paletteIds) palettes[id] = &hex;
  for (std::size_t id = 0; id < palettes.size(); ++id) out << (id ? ",\"" : "\"") << *palettes[id] << "\"";
  out << "]</script>\n<script>" << kScript << "</script>\n</body>\n</html>\n";
}

}  // namespace

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
  Run run{catalogue, Date(), {}};
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
