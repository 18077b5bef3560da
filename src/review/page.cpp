// review.html: a section for each carrier packed, its picture before and
// after and its changes marked, side by side at one zoom; the colours
// --nearest moved and the palette entries changed; then the carriers
// refused, each with its reason.

#include "page.h"

#include "../catalogue/html.h"
#include "../cli/texts.h"
#include "pictures.h"

namespace {

// The page's own style, after the rules every page has, and its script,
// allowed by their hashes alone: nothing else runs or styles the page,
// whatever a name slipped into it.
constexpr std::string_view kStyle = R"css(
.carrier { content-visibility: auto; contain-intrinsic-size: auto 16rem; margin: .8rem 0; padding: .6rem .8rem; background: #fff; border: 1px solid #d0d0d0; border-radius: 4px; }
h2 { font-size: 1rem; margin: 0 0 .3rem; overflow-wrap: anywhere; }
.name { font-weight: 600; color: #000; }
.from { font-weight: 400; color: #444; }
.facts { margin: 0 0 .5rem; color: #333; }
.views { display: flex; flex-wrap: wrap; gap: .75rem; align-items: flex-start; }
figure { margin: 0; width: min-content; min-width: 6rem; }
figcaption { font-size: .8rem; color: #555; padding-top: .2rem; }
.pic { display: grid; justify-content: start; padding: 8px; border: 1px solid #d0d0d0; border-radius: 3px; overflow: auto; max-width: 90vw; }
.pic img { grid-area: 1 / 1; image-rendering: pixelated; }
[data-bg=black] .pic { background: #000; }
[data-bg=white] .pic { background: #fff; }
[data-bg=checks] .pic { background: repeating-conic-gradient(#c9c9c9 0 25%, #f5f5f5 0 50%) 0 0 / 16px 16px; }
[data-mark=tint] img.outline, [data-mark=outline] img.tint { display: none; }
.none { color: #8e1b10; }
table { border-collapse: collapse; margin-top: .6rem; font-size: .85rem; font-variant-numeric: tabular-nums; }
caption { text-align: left; font-weight: 600; padding-bottom: .2rem; white-space: nowrap; }
th, td { padding: .1rem .6rem .1rem 0; text-align: left; }
tr.far td { color: #8e1b10; font-weight: 600; }
.swatch { display: inline-block; width: 1.4em; height: 1em; vertical-align: middle; margin-right: .3rem; box-shadow: inset 0 0 0 1px rgba(0, 0, 0, .3); }
.refused li { margin: .2rem 0; overflow-wrap: anywhere; }
footer { padding: 0 1rem 1rem; color: #555; }
)css";

constexpr std::string_view kScript = R"js(
"use strict";
(function () {
  var doc = document, list = function (selector, root) { return Array.prototype.slice.call((root || doc).querySelectorAll(selector)); };
  var images = list(".pic img"), zoom = 1;
  var sizes = images.map(function (image) { return [+image.getAttribute("width"), +image.getAttribute("height")]; });
  list(".swatch").forEach(function (swatch) { swatch.style.backgroundColor = "#" + swatch.getAttribute("data-colour"); });
  list("input[name=zoom]").forEach(function (input) {
    input.addEventListener("change", function () {
      images.forEach(function (image, i) { image.width = sizes[i][0] * input.value; image.height = sizes[i][1] * input.value; });
    });
  });
  ["bg", "mark"].forEach(function (name) {
    list("input[name=" + name + "]").forEach(function (input) {
      input.addEventListener("change", function () { doc.body.setAttribute("data-" + name, input.value); });
    });
  });
  // A carrier's pictures load as it comes near the view.
  var observer = new IntersectionObserver(function (entries) {
    entries.forEach(function (entry) {
      if (!entry.isIntersecting) return;
      observer.unobserve(entry.target);
      list("img", entry.target).forEach(function (image) { image.src = image.getAttribute("data-src"); });
    });
  }, { rootMargin: "600px" });
  list(".carrier").forEach(function (carrier) { observer.observe(carrier); });
})();
)js";

std::string Hex(const Rgba& colour) { return HexOf(std::span(colour).first<3>()); }

NativeString Count(std::uint64_t value) { return Grouped(static_cast<long long>(value)); }

void WriteImage(const ReviewedCarrier& c, const char* kind, const char* classes, std::uint32_t width, std::uint32_t height,
                Text alt, TextOut& out) {
  out << "<img class=\"" << classes << "\" data-src=\"" << Utf8(ReviewPictureName(c.number, kind)) << "\" alt=\""
      << Html(Say(alt)) << "\" width=\"" << std::to_string(width) << "\" height=\"" << std::to_string(height)
      << "\">";
}

void WriteViews(const ReviewedCarrier& c, TextOut& out) {
  const auto figure = [&](Text caption, auto images) {
    out << "<figure><div class=\"pic\">";
    images();
    out << "</div><figcaption>" << Html(Say(caption)) << "</figcaption></figure>";
  };
  out << "<div class=\"views\">";
  figure(Text::kReviewBefore, [&] { WriteImage(c, "before", "before", c.width, c.height, Text::kReviewBefore, out); });
  figure(Text::kReviewAfter, [&] { WriteImage(c, "after", "after", c.newWidth, c.newHeight, Text::kReviewAfter, out); });
  figure(Text::kReviewChanges, [&] {
    WriteImage(c, "after", "under", c.newWidth, c.newHeight, Text::kReviewAfter, out);
    WriteImage(c, "tint", "tint", c.newWidth, c.newHeight, Text::kReviewChanges, out);
    WriteImage(c, "outline", "outline", c.newWidth, c.newHeight, Text::kReviewChanges, out);
  });
  out << "</div>\n";
}

void WriteMoves(const ReviewedCarrier& c, TextOut& out) {
  if (c.moved.empty()) return;
  out << "<table class=\"moves\"><caption>" << Html(Say(Text::kReviewMoved)) << "</caption><thead><tr>";
  for (const Text heading : {Text::kReviewColour, Text::kReviewEntry, Text::kReviewDeltaE, Text::kReviewPixels})
    out << "<th>" << Html(Say(heading)) << "</th>";
  out << "</tr></thead><tbody>";
  for (const OffColour& m : c.moved) {
    out << "<tr" << (m.deltaE > kVisibleDeltaE ? " class=\"far\"" : "") << "><td><span class=\"swatch\" data-colour=\""
        << Hex(m.colour) << "\"></span>#" << Hex(m.colour) << " → <span class=\"swatch\" data-colour=\"" << Hex(m.nearestColour)
        << "\"></span>#" << Hex(m.nearestColour) << "</td><td>" << std::to_string(m.nearest) << "</td><td>"
        << Utf8(Decimal(m.deltaE)) << "</td><td>" << Utf8(Count(m.pixels)) << "</td></tr>";
  }
  out << "</tbody></table>\n";
}

void WritePalette(const ReviewedCarrier& c, TextOut& out) {
  if (c.palette.empty()) return;
  out << "<table class=\"palette\"><caption>" << Html(Say(Text::kReviewPalette)) << "</caption><tbody>";
  for (const PaletteChange& p : c.palette)
    out << "<tr><td>" << std::to_string(p.index) << "</td><td><span class=\"swatch\" data-colour=\"" << Hex(p.from)
        << "\"></span>#" << Hex(p.from) << " → <span class=\"swatch\" data-colour=\"" << Hex(p.to) << "\"></span>#"
        << Hex(p.to) << "</td></tr>";
  out << "</tbody></table>\n";
}

void WriteCarrier(const ReviewedCarrier& c, TextOut& out) {
  out << "<section class=\"carrier\" id=\"c" << std::to_string(c.number) << "\">\n<h2><span class=\"name\">"
      << Html(c.carrier) << "</span> <span class=\"from\">← " << Html(c.picture) << "</span></h2>\n<p class=\"facts\">";
  if (!c.pictures) {
    out << "<span class=\"none\">" << Html(c.problem) << "</span></p>\n</section>\n";
    return;
  }
  out << Html(c.changed ? Say(Text::kReviewChanged, {Count(c.changed), Number(c.box.width), Number(c.box.height),
                                                     Number(c.box.x), Number(c.box.y)})
                        : Say(Text::kReviewNoChange));
  if (c.newWidth != c.width || c.newHeight != c.height)
    out << " · " << Html(Say(Text::kReviewResized, {Number(c.newWidth), Number(c.newHeight), Number(c.width), Number(c.height)}));
  out << "</p>\n";
  WriteViews(c, out);
  WriteMoves(c, out);
  WritePalette(c, out);
  out << "</section>\n";
}

void WriteControls(TextOut& out) {
  const auto radios = [&](Text legend, const char* name, std::initializer_list<std::pair<const char*, NativeString>> choices) {
    out << "<fieldset><legend>" << Html(Say(legend)) << "</legend>";
    bool first = true;
    for (const auto& [value, label] : choices) {
      out << "<label><input type=\"radio\" name=\"" << name << "\" value=\"" << value << "\"" << (first ? " checked" : "")
          << "> " << Html(label) << "</label>";
      first = false;
    }
    out << "</fieldset>\n";
  };
  out << "<div class=\"controls\">\n";
  radios(Text::kCatalogueZoom, "zoom",
         {{"1", NATIVE_TEXT("1×")}, {"2", NATIVE_TEXT("2×")}, {"4", NATIVE_TEXT("4×")}, {"8", NATIVE_TEXT("8×")}});
  radios(Text::kCatalogueBackground, "bg",
         {{"checks", Say(Text::kCatalogueChecks)}, {"black", Say(Text::kCatalogueBlack)}, {"white", Say(Text::kCatalogueWhite)}});
  radios(Text::kReviewMark, "mark", {{"tint", Say(Text::kReviewTint)}, {"outline", Say(Text::kReviewOutline)}});
  out << "</div>\n";
}

}  // namespace

void WriteReviewPage(const Review& review, const std::string& date, TextOut& out) {
  const NativeString title = Say(review.checkOnly ? Text::kReviewTitleChecked : Text::kReviewTitle);
  const NativeString version(kReviewVersion, kReviewVersion + std::char_traits<char>::length(kReviewVersion));
  WritePageHead({kReviewPageMark, std::string("quillane-pack ") + kReviewVersion, title, kStyle, kScript,
                 "data-bg=\"checks\" data-mark=\"tint\""},
                out);
  out << "<header>\n<h1>"
      << Html(title) << "</h1>\n<p class=\"summary\">" << Html(review.summary) << " · "
      << Html(Say(Text::kReviewMade, {version, NativeString(date.begin(), date.end())})) << "</p>\n";
  if (review.interrupted) out << "<p class=\"interrupted\">" << Html(Say(Text::kReviewInterrupted)) << "</p>\n";
  WriteControls(out);
  out << "</header>\n<main>\n";
  for (const ReviewedCarrier& carrier : review.packed) WriteCarrier(carrier, out);
  if (!review.refused.empty()) {
    out << "<section class=\"refused\">\n<h2>" << Html(Say(Text::kReviewRefused, {Number(static_cast<long long>(review.refused.size()))}))
        << "</h2>\n<ul>\n";
    for (const RefusedCarrier& refused : review.refused)
      out << "<li><span class=\"name\">" << Html(refused.carrier) << "</span>: " << Html(refused.reason) << "</li>\n";
    out << "</ul>\n</section>\n";
  }
  out << "</main>\n<footer>" << Html(Say(Text::kReviewUnchanged, {Number(static_cast<long long>(review.unchanged))}))
      << " · <a href=\"review.json\">review.json</a></footer>\n<script>" << kScript << "</script>\n</body>\n</html>\n";
}
