#include "catalogue.h"

#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "../cli/report.h"
#include "../cli/texts.h"
#include "../os/paths.h"
#include "page.h"

namespace {

constexpr const NativeChar* kPageName = NATIVE_TEXT("index.html");
constexpr const NativeChar* kIndexName = NATIVE_TEXT("index.json");
constexpr const NativeChar* kSumsName = NATIVE_TEXT("SHA256SUMS");

// How the index begins when --catalogue made it; SHA256SUMS has no room for
// a mark, and counts as made so when the index beside it was.
constexpr std::string_view kIndexMark = "{\"generator\": \"quillane-convert";

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

#ifdef _WIN32
constexpr bool kDrives = true;
bool SameName(const NativeString& a, const NativeString& b) { return NameKey(a) == NameKey(b); }
#else
constexpr bool kDrives = false;
bool SameName(const NativeString& a, const NativeString& b) { return a == b; }
#endif

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
    place.path = names[0];
    place.link = names[0].empty() ? "file:" : "file:///" + Utf8(names[0]);
    for (std::size_t i = 1; i < names.size(); ++i) {
      place.path += NATIVE_TEXT('/') + names[i];
      place.link += '/' + Escaped(Utf8(names[i]));
    }
    return place;
  }
  const auto add = [&](const NativeString& name, const std::string& link) {
    if (!place.path.empty()) place.path += NATIVE_TEXT('/'), place.link += '/';
    place.path += name;
    place.link += link;
  };
  for (std::size_t i = common; i < from.size(); ++i) add(NATIVE_TEXT(".."), "..");
  for (std::size_t i = common; i < names.size(); ++i) add(names[i], Escaped(Utf8(names[i])));
  return place;
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
      << ",\n \"interrupted\": " << (catalogue.interrupted ? "true" : "false")
      << ",\n \"summary\": " << Json(Utf8(Printable(catalogue.summary))) << ",\n \"carriers\": [";
  const char* separator = "\n";
  for (std::size_t i = 0; i < catalogue.records.size(); ++i) {
    const CatalogueRecord& r = catalogue.records[i];
    const std::optional<Place>& place = run.places[i];
    const Evidence& e = r.evidence;
    const auto number = [&](std::int64_t value) { return r.sized ? std::to_string(value) : std::string("null"); };
    out << separator << "  {\"source\": " << JsonName("sourceHex", r.source)
        << ", \"output\": " << (place ? JsonName("outputHex", place->path) : "null")
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
  std::vector<std::pair<NativeString, const Sha256Digest*>> sums;
  std::map<NativeString, std::size_t> listed;  // an output written twice is listed once, as it stands
  for (std::size_t i = 0; i < run.catalogue.records.size(); ++i) {
    const Evidence& evidence = run.catalogue.records[i].evidence;
    if (!run.places[i] || !evidence.output) continue;
    const auto [at, added] = listed.try_emplace(run.places[i]->path, sums.size());
    if (added) sums.emplace_back(run.places[i]->path, &*evidence.output);
    else sums[at->second].second = &*evidence.output;
  }
  for (const auto& [native, digest] : sums) {
    const std::string path = Utf8(native);
    std::string name;
    for (const char c : path) name += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    out << (name.size() != path.size() ? "\\" : "") << HexOf(*digest) << "  " << name << "\n";
  }
}

}  // namespace

NativeString CatalogueBlocked(Platform& os, const NativeString& folder, bool checkOnly) {
  const NativeString page = JoinPath(folder, kPageName), index = JoinPath(folder, kIndexName),
                     sums = JoinPath(folder, kSumsName);
  const bool indexStands = Stands(index);
  const bool indexOurs = indexStands && BeginsWith(os, index, kIndexMark);
  if (Stands(page) && !BeginsWith(os, page, kPageMark)) return Say(Text::kCatalogueNotOurs, {page});
  if (indexStands && !indexOurs) return Say(Text::kCatalogueNotOurs, {index});
  if (!checkOnly && Stands(sums) && !indexOurs) return Say(Text::kCatalogueNotOurs, {sums});
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
  CatalogueRun run{catalogue, MadeDate(), {}};
  const std::vector<NativeString> from = NamesOf(here.value);
  for (const CatalogueRecord& record : catalogue.records) {
    const Result<NativeString> output = os.AbsolutePath(record.output);
    run.places.push_back(record.output.empty() || !output.Ok() ? std::nullopt : std::optional(PlaceOf(from, output.value)));
  }
  std::vector<NativeString> problems;
  const auto put = [&](const NativeChar* name, const std::function<void(TextOut&)>& fill) {
    if (NativeString problem = WriteTextFile(os, JoinPath(folder, name), fill); !problem.empty()) problems.push_back(problem);
  };
  put(kIndexName, [&](TextOut& out) { WriteIndex(run, out); });
  if (!catalogue.checkOnly) put(kSumsName, [&](TextOut& out) { WriteSums(run, out); });
  const NativeString title = NamesOf(here.value).back();
  put(kPageName, [&](TextOut& out) { WritePage(run, Say(Text::kCatalogueTitle, {title.empty() ? here.value : title}), out); });
  return problems;
}
