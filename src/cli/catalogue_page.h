// What the catalogue's files share: how they mark themselves, text as
// UTF-8, where each output lies seen from them, and how they are written;
// and the page, which the index and the checksums are written beside.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "../convert/file_io.h"
#include "catalogue.h"
#include "version.h"

// How the page and the index begin when --catalogue made them; SHA256SUMS
// has no room for a mark, and counts as made so when the index beside it was.
inline constexpr std::string_view kPageMark = "<!DOCTYPE html>\n<!-- made by quillane-convert -->\n";
inline constexpr std::string_view kIndexMark = "{\"generator\": \"quillane-convert";
inline constexpr const char* kCatalogueVersion = QUILLANE_PRODUCT_VERSION_STR " (" QUILLANE_FILE_VERSION_STR ")";

// Text as UTF-8, which the page, the index and the checksums are written
// in. On Windows a UTF-16 unit of no character, which only a name can hold,
// is written as its code point would be, so that it is never lost.
std::string Utf8(const NativeString& text);

// Where an output lies seen from the catalogue's folder.
struct Place {
  std::string link;  // a URL relative to the page where it can be one, each byte outside the unreserved escaped
  std::string path;  // the same as a path, for SHA256SUMS
};

// A file of the catalogue as it is written, through `buffer`; its first failure kept.
class TextOut {
 public:
  TextOut(Platform& os, FileHandle file, std::span<std::uint8_t> buffer) : out_(os, file, buffer) {}

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

// What the page and the index share of the whole run.
struct CatalogueRun {
  const Catalogue& catalogue;
  std::string date;
  std::vector<std::optional<Place>> places;  // of each record's output
};

// Writes the page of `run`, titled `title`, to `out`.
void WritePage(const CatalogueRun& run, const NativeString& title, TextOut& out);
