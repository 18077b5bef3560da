#include "review.h"

#include <string>
#include <string_view>

#include "../catalogue/text_file.h"
#include "../cli/report.h"
#include "../cli/texts.h"
#include "../os/paths.h"
#include "page.h"
#include "pictures.h"

namespace {

constexpr const NativeChar* kIndexName = NATIVE_TEXT("review.json");

// How review.json begins when --review made it; the pictures' folder counts
// as made so when the index beside it was.
constexpr std::string_view kIndexMark = "{\"generator\": \"quillane-pack";

std::string Text(const NativeString& text) { return Json(Utf8(Printable(text))); }

std::string Colour(const Rgba& colour) { return Json("#" + HexOf(std::span(colour).first<3>())); }

void WriteCarrier(const ReviewedCarrier& c, bool checkOnly, TextOut& out) {
  out << "  {\"carrier\": " << Text(c.carrier) << ", \"picture\": " << Text(c.picture) << ", \"outcome\": \""
      << (checkOnly ? "would-pack" : "packed") << "\", \"pictures\": ";
  if (c.pictures) {
    const char* separator = "{";
    for (const char* kind : kReviewKinds) {
      out << separator << "\"" << kind << "\": " << Json(Utf8(ReviewPictureName(c.number, kind)));
      separator = ", ";
    }
    out << "}";
  } else {
    out << "null";
  }
  out << ", \"problem\": " << (c.problem.empty() ? "null" : Text(c.problem)) << ", \"width\": " << std::to_string(c.width)
      << ", \"height\": " << std::to_string(c.height) << ", \"newWidth\": " << std::to_string(c.newWidth)
      << ", \"newHeight\": " << std::to_string(c.newHeight) << ", \"changed\": " << std::to_string(c.changed) << ", \"box\": ";
  if (c.changed == 0) out << "null";
  else
    out << "{\"x\": " << std::to_string(c.box.x) << ", \"y\": " << std::to_string(c.box.y) << ", \"width\": "
        << std::to_string(c.box.width) << ", \"height\": " << std::to_string(c.box.height) << "}";
  out << ", \"moved\": [";
  for (std::size_t i = 0; i < c.moved.size(); ++i) {
    const OffColour& m = c.moved[i];
    out << (i ? ", " : "") << "{\"colour\": " << Colour(m.colour) << ", \"entry\": " << std::to_string(m.nearest)
        << ", \"entryColour\": " << Colour(m.nearestColour) << ", \"deltaE\": " << Utf8(Decimal(m.deltaE))
        << ", \"pixels\": " << std::to_string(m.pixels) << "}";
  }
  out << "], \"palette\": [";
  for (std::size_t i = 0; i < c.palette.size(); ++i) {
    const PaletteChange& p = c.palette[i];
    out << (i ? ", " : "") << "{\"entry\": " << std::to_string(p.index) << ", \"from\": " << Colour(p.from)
        << ", \"to\": " << Colour(p.to) << "}";
  }
  out << "]}";
}

void WriteIndex(const Review& review, const std::string& date, TextOut& out) {
  out << kIndexMark << " " << Json(kReviewVersion).substr(1) << ",\n \"date\": " << Json(date)
      << ",\n \"checkOnly\": " << (review.checkOnly ? "true" : "false")
      << ",\n \"interrupted\": " << (review.interrupted ? "true" : "false") << ",\n \"summary\": " << Text(review.summary)
      << ",\n \"unchanged\": " << std::to_string(review.unchanged) << ",\n \"carriers\": [";
  for (std::size_t i = 0; i < review.packed.size(); ++i) {
    out << (i ? ",\n" : "\n");
    WriteCarrier(review.packed[i], review.checkOnly, out);
  }
  out << "\n ],\n \"refused\": [";
  for (std::size_t i = 0; i < review.refused.size(); ++i)
    out << (i ? ",\n" : "\n") << "  {\"carrier\": " << Text(review.refused[i].carrier)
        << ", \"reason\": " << Text(review.refused[i].reason) << "}";
  out << "\n ]\n}\n";
}

}  // namespace

NativeString PrepareReview(Platform& os, const NativeString& folder) {
  const NativeString page = JoinPath(folder, kReviewPageName), index = JoinPath(folder, kIndexName),
                     pictures = JoinPath(folder, kReviewPictures);
  const bool indexOurs = Stands(index) && BeginsWith(os, index, kIndexMark);
  if (Stands(page) && !BeginsWith(os, page, kReviewPageMark)) return Say(Text::kReviewNotOurs, {page});
  if (Stands(index) && !indexOurs) return Say(Text::kReviewNotOurs, {index});
  if (Stands(pictures) && !indexOurs) return Say(Text::kReviewNotOurs, {pictures});
  if (const SystemError error = CreateFolders(pictures)) return Because(Say(Text::kCannotCreateFolder, {pictures}), error);
  return {};
}

std::vector<NativeString> WriteReview(Platform& os, const Review& review) {
  const std::string date = MadeDate();
  std::vector<NativeString> problems;
  const auto put = [&](const NativeChar* name, const std::function<void(TextOut&)>& fill) {
    if (NativeString problem = WriteTextFile(os, JoinPath(review.folder, name), fill); !problem.empty())
      problems.push_back(problem);
  };
  put(kIndexName, [&](TextOut& out) { WriteIndex(review, date, out); });
  put(kReviewPageName, [&](TextOut& out) { WriteReviewPage(review, date, out); });
  return problems;
}
