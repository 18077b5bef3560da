// What the catalogue's files tell of a run: a record of each carrier, and
// where each output lies seen from them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../cli/plan.h"
#include "evidence.h"
#include "version.h"

inline constexpr const char* kCatalogueVersion = QUILLANE_PRODUCT_VERSION_STR " (" QUILLANE_FILE_VERSION_STR ")";

// How a carrier came out: converted, converted as BMP since it shows no
// picture, its output kept as an edit, checked only, or failed.
enum class Verdict { kConverted, kKeptAsBmp, kKept, kChecked, kFailed };

// What the catalogue tells of one carrier.
struct CatalogueRecord {
  NativeString source;  // as given
  NativeString output;  // as the command line names it; empty when the run wrote none
  Verdict verdict = Verdict::kFailed;
  NativeString reason;  // why it failed, or shows no picture, in the command line's words
  bool sized = false;   // whether the payload reached its width and height
  std::int64_t width = 0;
  std::int64_t height = 0;  // as many rows as it has, whichever way they run
  std::uint16_t depth = 0;  // bits a pixel, where a standard header tells
  const char* form = nullptr;  // for scripts: palette, rgb, bitfields, compressed or no-header
  NativeString formWords;      // as the command line says it: "8-bit, palette of 200 colours"
  const char* rows = nullptr;  // packed or padded, for a bitmap of rows
  std::optional<std::uint64_t> payloadBytes;
  Evidence evidence;
};

// The record of `entry` once the batch has run: its verdict, the output
// it wrote (or kept), what was said of it where it did not fail, and what
// its conversion proved.
CatalogueRecord RecordOf(const Entry& entry, Verdict verdict, const NativeString& output, const NativeString& said,
                         const Evidence& evidence);

struct Catalogue {
  NativeString folder;   // where its files go; empty for the working folder
  bool checkOnly = false;  // made from a check: no pictures, no SHA256SUMS
  bool interrupted = false;  // the run stopped early: its records are of the entries it started
  NativeString summary;  // the command line's summary of the run
  std::vector<CatalogueRecord> records;  // in the order of the tree
};

// Where an output lies seen from the catalogue's folder.
struct Place {
  std::string link;   // a URL relative to the page where it can be one, each byte outside the unreserved escaped
  NativeString path;  // the same as a path, "/" between its names on every system, for the index and SHA256SUMS
};

// What the page and the index share of the whole run.
struct CatalogueRun {
  const Catalogue& catalogue;
  std::string date;
  std::vector<std::optional<Place>> places;  // of each record's output
};
