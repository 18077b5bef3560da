// --catalogue: a whole run seen at once. After the batch, three files in the
// output folder, or the working folder without -o: index.html, one page a
// browser opens offline with a tile for each carrier; index.json, a record of
// each for scripts; and SHA256SUMS, every output the run wrote in the form
// sha256sum -c checks.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "evidence.h"
#include "plan.h"

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

// The record of `entry` once the batch has run, its outputs ending in `suffix`.
CatalogueRecord RecordOf(const Entry& entry, const NativeChar* suffix, bool checkOnly);

struct Catalogue {
  NativeString folder;   // where its files go; empty for the working folder
  bool checkOnly = false;  // made from a check: no pictures, no SHA256SUMS
  NativeString summary;  // the command line's summary of the run
  std::vector<CatalogueRecord> records;  // in the order of the tree
};

// Why the catalogue cannot be written into `folder`, in words: a file there
// under one of its names that --catalogue did not make, which it never
// replaces. Empty when nothing stands in the way.
NativeString CatalogueBlocked(Platform& os, const NativeString& folder, bool checkOnly);

// Writes index.json, SHA256SUMS after a conversion, then index.html, each
// through a staging file that takes its name once complete; what went
// wrong, in words.
std::vector<NativeString> WriteCatalogue(Platform& os, const Catalogue& catalogue);
