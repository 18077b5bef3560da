// index.html: a whole run on one page that a browser opens offline, a tile
// for each carrier under one heading for each folder, filtered, zoomed and
// shown on the background one asks for.

#include "page.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "../cli/report.h"
#include "../cli/texts.h"
#include "../os/paths.h"
#include "html.h"

namespace {

// The page's own style, after the rules every page has, and its script,
// allowed by their hashes alone: nothing else runs or styles the page,
// whatever a name slipped into it.
constexpr std::string_view kStyle = R"css(
.controls > label { font-weight: 600; }
.controls input[type=search], .controls select { font: inherit; margin-left: .3rem; }
h2 { font-size: 1rem; margin: 1.1rem 0 .5rem; overflow-wrap: anywhere; }
.tiles { display: flex; flex-wrap: wrap; gap: .75rem; align-items: flex-start; }
.tile { content-visibility: auto; contain-intrinsic-size: auto 12rem auto 10rem; margin: 0; width: min-content; min-width: 12rem; max-width: 100%; background: #fff; border: 1px solid #d0d0d0; border-radius: 4px; }
.tile.failed { border-color: #c0392b; }
.tile.edited { border: 2px solid #b35c00; }
.edit { display: inline-block; margin-bottom: .2rem; padding: 0 .4rem; border-radius: 3px; background: #b35c00; color: #fff; font-weight: 600; }
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
.palette { display: grid; grid-template-columns: repeat(16, 10px); grid-auto-rows: 10px; gap: 1px; width: max-content; margin-top: .35rem; }
.palette span { box-shadow: inset 0 0 0 1px rgba(0, 0, 0, .25); }
.palette span.chosen { position: relative; outline: 2px solid #1a5fd0; outline-offset: 1px; }
.entry { display: block; margin-top: .2rem; font-variant-numeric: tabular-nums; }
footer { padding: 0 1rem 1rem; color: #555; }
[hidden] { display: none !important; }
)css";

constexpr std::string_view kScript = R"js(
"use strict";
(function () {
  var doc = document, list = function (selector) { return Array.prototype.slice.call(doc.querySelectorAll(selector)); };
  var tiles = list(".tile"), sections = list("main section"), images = list(".pic img");
  // The filter looks in a carrier's path and in what its tile says of it: its form and its reason among them.
  var texts = tiles.map(function (tile) { return (tile.querySelector(".name").title + "\n" + tile.textContent).toLowerCase(); });
  var edited = tiles.map(function (tile) { return tile.classList.contains("edited"); });
  var sizes = images.map(function (image) { return [+image.getAttribute("width"), +image.getAttribute("height")]; });
  var filter = doc.getElementById("filter"), form = doc.getElementById("form"), shown = doc.getElementById("shown");
  var say = function (pattern, values) {
    var next = 0;
    return pattern.replace(/\{(\d?)\}/g, function (all, n) { return String(values[n === "" ? next++ : +n]); });
  };
  var apply = function () {
    var words = filter.value.trim().toLowerCase(), group = form.value, count = 0;
    tiles.forEach(function (tile, i) {
      var kind = group === "" || (group === "edited" ? edited[i] : tile.getAttribute("data-form") === group);
      var show = texts[i].indexOf(words) >= 0 && kind;
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
  // A picture loads, and a palette is drawn a swatch an entry, as its tile
  // comes near the view: the browser's own lazy loading weighs on every
  // layout of a large page while it is read, this only once it is, and
  // every palette drawn at once would give it thousands of elements more.
  var near = function (act) {
    var observer = new IntersectionObserver(function (entries) {
      entries.forEach(function (entry) {
        if (entry.isIntersecting) { observer.unobserve(entry.target); act(entry.target); }
      });
    }, { rootMargin: "600px" });
    return function (element) { observer.observe(element); };
  };
  images.forEach(near(function (image) { image.src = image.getAttribute("data-src"); }));
  var store = doc.getElementById("palettes"), palettes = JSON.parse(store.textContent);
  var draw = function (grid) {
    if (grid.children.length) return;
    var hex = palettes[+grid.getAttribute("data-palette")], swatches = doc.createDocumentFragment();
    for (var i = 0; i < hex.length / 6; i++) {
      var swatch = doc.createElement("span"), colour = hex.substr(6 * i, 6);
      swatch.style.backgroundColor = "#" + colour;
      swatch.title = say(store.getAttribute("data-entry"), [i, colour]);
      swatches.appendChild(swatch);
    }
    grid.appendChild(swatches);
  };
  list(".palette").forEach(near(draw));
  // The entry clicked, or chosen from the keyboard, named below its palette.
  var choose = function (grid, i) {
    draw(grid);
    var swatches = grid.children, before = grid.querySelector(".chosen");
    i = Math.max(0, Math.min(swatches.length - 1, i));
    if (before) before.classList.remove("chosen");
    swatches[i].classList.add("chosen");
    grid.setAttribute("data-chosen", i);
    grid.nextElementSibling.textContent = swatches[i].title;
  };
  var isPalette = function (element) { return element.classList && element.classList.contains("palette"); };
  doc.addEventListener("focusin", function (event) {
    if (isPalette(event.target) && !event.target.hasAttribute("data-chosen")) choose(event.target, 0);
  });
  doc.addEventListener("click", function (event) {
    var grid = event.target.parentNode;
    if (grid && isPalette(grid)) choose(grid, Array.prototype.indexOf.call(grid.children, event.target));
  });
  doc.addEventListener("keydown", function (event) {
    var grid = event.target;
    if (event.key === "/" && doc.activeElement !== filter) {
      event.preventDefault();
      filter.focus();
    } else if (isPalette(grid) && /^Arrow/.test(event.key)) {
      // A row down or up is as many entries as the style lays in a row.
      var row = getComputedStyle(grid).gridTemplateColumns.split(" ").length;
      var step = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -row, ArrowDown: row }[event.key];
      event.preventDefault();
      choose(grid, +grid.getAttribute("data-chosen") + step);
    }
  });
  apply();
})();
)js";

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

std::string Palette(const std::vector<Rgba>& palette) {
  std::string hex;
  for (const Rgba& colour : palette) hex += HexOf(std::span(colour).first<3>());
  return hex;
}

// Where a person looks for a carrier on the page: under its folder, folders
// in the order of the tree, a folder before those in it; among its
// neighbours by name. A name goes by its letters whatever their case
// ("notes.GIF" among the others), then by its units, so that the order is
// one whatever the names.
using SortName = std::pair<NativeString, NativeString>;
struct Shelf {
  std::vector<SortName> folder;
  SortName name;
  bool operator<(const Shelf& other) const { return std::tie(folder, name) < std::tie(other.folder, other.name); }
};

SortName SortNameOf(const NativeString& name) {
  NativeString folded = name;
  for (NativeChar& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<NativeChar>(c - 'A' + 'a');
  }
  return {folded, name};
}

// The names that tell a folder, so that "tree//a" and "./tree/a" are one
// folder with "tree/a", and a bare name's folder is the one before all.
Shelf ShelfOf(const NativeString& source) {
  Shelf shelf{{}, SortNameOf(NameOf(source))};
  const NativeString folder = FolderOf(source);
  if (folder.empty()) return shelf;
  for (const NativeString& name : NamesOf(folder)) {
    if (name != NATIVE_TEXT(".") && (shelf.folder.empty() || !name.empty())) shelf.folder.push_back(SortNameOf(name));
  }
  return shelf;
}

void WriteTile(const CatalogueRecord& r, const std::optional<Place>& place, std::size_t group, std::size_t palette,
               TextOut& out) {
  const NativeString name = NameOf(r.source);
  // An output kept is the user's work, which the tool has left as it stands.
  const bool edited = r.verdict == Verdict::kKept;
  out << "<figure class=\"tile" << (r.verdict == Verdict::kFailed ? " failed" : edited ? " edited" : "") << "\" data-form=\""
      << std::to_string(group) << "\">";
  if (r.verdict == Verdict::kFailed) {
    out << "<div class=\"pic none\">" << Html(r.reason) << "</div>";
  } else if (!r.reason.empty() && r.verdict != Verdict::kKept) {
    out << "<div class=\"pic none\">" << Html(Say(Text::kCatalogueNoPicture, {r.reason})) << "</div>";
  } else if (place && r.verdict != Verdict::kChecked) {
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
  out << "<figcaption>";
  if (edited) out << "<strong class=\"edit\">" << Html(Say(Text::kCatalogueEdited)) << "</strong>";
  out << "<span class=\"name\" title=\"" << Html(r.source) << "\">" << Html(name) << "</span><span>";
  for (std::size_t i = 0; i < facts.size(); ++i) out << (i ? "\n" : "") << Html(facts[i]);
  out << "</span>";
  if (!r.evidence.palette.empty())
    out << "<div class=\"palette\" tabindex=\"0\" data-palette=\"" << std::to_string(palette) << "\" title=\""
        << Html(Say(Text::kCataloguePalette)) << "\"></div><output class=\"entry\" aria-live=\"polite\"></output>";
  out << "</figcaption></figure>\n";
}

}  // namespace

void WritePage(const CatalogueRun& run, const NativeString& title, TextOut& out) {
  const Catalogue& catalogue = run.catalogue;
  // The form filter's choices, and each palette once, for every tile on it.
  std::map<Group, std::size_t> groups;
  std::vector<Group> groupOf;
  std::map<std::string, std::size_t> paletteIds;
  std::vector<std::size_t> paletteOf;
  std::uint64_t carrierBytes = 0, outputBytes = 0;
  std::size_t edited = 0;
  for (const CatalogueRecord& record : catalogue.records) {
    edited += record.verdict == Verdict::kKept;
    groupOf.push_back(GroupOf(record));
    ++groups[groupOf.back()];
    paletteOf.push_back(paletteIds.try_emplace(Palette(record.evidence.palette), paletteIds.size()).first->second);
    carrierBytes += record.evidence.carrierBytes.value_or(0);
    outputBytes += record.evidence.outputBytes.value_or(0);
  }
  std::map<Group, std::size_t> groupIds;
  for (const auto& [group, count] : groups) groupIds.emplace(group, groupIds.size());

  WritePageHead({kPageMark, std::string("quillane-convert ") + kCatalogueVersion, title, kStyle, kScript, "class=\"bg-checks\""},
                out);
  out << "<header>\n<h1>" << Html(title)
      << "</h1>\n<p class=\"summary\">" << Html(catalogue.summary) << " · "
      << Html(Say(Text::kCatalogueBytes, {Number(static_cast<long long>(carrierBytes)), Number(static_cast<long long>(outputBytes))}))
      << " · " << Html(Say(Text::kCatalogueMade, {NativeString(kCatalogueVersion, kCatalogueVersion + std::char_traits<char>::length(kCatalogueVersion)),
                                                     NativeString(run.date.begin(), run.date.end())}));
  if (catalogue.checkOnly) out << " · " << Html(Say(Text::kCatalogueChecked));
  out << "</p>\n";
  if (catalogue.interrupted) out << "<p class=\"interrupted\">" << Html(Say(Text::kCatalogueInterrupted)) << "</p>\n";
  out << "<div class=\"controls\">\n<label>" << Html(Say(Text::kCatalogueFilter))
      << "<input type=\"search\" id=\"filter\" autocomplete=\"off\" spellcheck=\"false\"></label>\n<label>"
      << Html(Say(Text::kCatalogueForm)) << "<select id=\"form\"><option value=\"\">" << Html(Say(Text::kCatalogueAll))
      << " (" << std::to_string(catalogue.records.size()) << ")</option>";
  if (edited > 0)
    out << "<option value=\"edited\">" << Html(Say(Text::kCatalogueEdited)) << " (" << std::to_string(edited) << ")</option>";
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

  // Each folder under one heading, named as its first carrier names it.
  std::vector<Shelf> shelves;
  std::vector<std::size_t> order;
  for (const CatalogueRecord& record : catalogue.records) {
    order.push_back(shelves.size());
    shelves.push_back(ShelfOf(record.source));
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return shelves[a] < shelves[b]; });
  const std::vector<SortName>* folder = nullptr;
  for (const std::size_t i : order) {
    if (!folder || shelves[i].folder != *folder) {
      const NativeString parent = FolderOf(catalogue.records[i].source);
      out << (folder ? "</div>\n</section>\n" : "") << "<section>\n<h2>"
          << Html(parent.empty() ? NativeString(NATIVE_TEXT(".")) : parent) << "</h2>\n<div class=\"tiles\">\n";
      folder = &shelves[i].folder;
    }
    WriteTile(catalogue.records[i], run.places[i], groupIds[groupOf[i]], paletteOf[i], out);
  }
  out << (folder ? "</div>\n</section>\n" : "") << "</main>\n<footer><a href=\"index.json\">index.json</a>";
  if (!catalogue.checkOnly) out << " · <a href=\"SHA256SUMS\">SHA256SUMS</a>";
  out << "</footer>\n<script type=\"application/json\" id=\"palettes\" data-entry=\""
      << Html(Say(Text::kCataloguePaletteEntry, {NATIVE_TEXT("{0}"), NATIVE_TEXT("{1}")})) << "\">[";
  std::vector<const std::string*> palettes(paletteIds.size());
  for (const auto& [hex, id] : paletteIds) palettes[id] = &hex;
  for (std::size_t id = 0; id < palettes.size(); ++id) out << (id ? ",\"" : "\"") << *palettes[id] << "\"";
  out << "]</script>\n<script>" << kScript << "</script>\n</body>\n</html>\n";
}

