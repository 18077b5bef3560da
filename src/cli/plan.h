// The files a command works through, in argument order: file operands as
// they are, patterns as the names they match, folder operands walked with -r,
// each entry with where its output goes and, when it cannot be worked before
// it runs, why.
#pragma once

#include <cstddef>
#include <vector>

#include "../convert/job.h"
#include "batch.h"
#include "options.h"
#include "texts.h"

struct Entry {
  NativeString source;          // as given, or as found in a folder
  NativeString relative;        // its path below the folder it was found in, or its own name
  NativeString base;            // the output is base + the output's suffix
  std::size_t after = kNoTask;  // an earlier entry of the same source and output
  NativeString problem;         // why it failed, in words; empty while it has not
  std::vector<NativeString> details;  // lines that tell more of the problem, or of what it did, for -v
  NativeString hint;            // what to do about the problem, said after the first of a run that has it
  // Lines for standard error of an entry that did not fail, its first
  // naming what it is about.
  std::vector<NativeString> warnings;
  NativeString done;            // what -v says of it once it is done; nothing for an entry left as it was
  bool walked = false;          // met in a folder, where only a file shaped like a carrier is taken for one
  bool noCarrier = false;       // so met, and no carrier at all: skipped, no failure
  bool inPlace = false;         // the output is the source itself
  bool notStarted = false;      // the run was interrupted before it came to this one
  Outcome outcome;
};

// A file met in a folder that the run leaves out, and why.
struct Skip {
  NativeString path;
  NativeString relative;  // its path below the folder it was found in
  Text reason;
  std::size_t before;  // the entry met after it, or the number of entries
};

struct Plan {
  std::vector<Entry> entries;
  // The other files met in folders, in the order met, but for the pictures
  // and outputs made of a carrier beside it, which belong to that carrier.
  std::vector<Skip> skipped;
  // The folders met below folder operands, each by its path below its operand.
  std::vector<NativeString> folders;
};

// The entries for `options`, whose outputs end in `suffix`, each named
// tested first: one refused for its name has its outcome and claims nothing.
// A source named twice, by any spelling, waits for its earlier conversion;
// another source writing the same output, or an output that would replace a
// source other than its own, is refused, so that nothing is overwritten.
Plan MakePlan(Platform& os, const Options& options, const NativeChar* suffix);

// How strictly the entry is taken for a carrier: shaped like one where it was met in a folder.
inline Shape ShapeOf(const Entry& entry) { return entry.walked ? Shape::kShaped : Shape::kProbed; }

// Where in `dir` the entry's output goes: its path below its folder operand
// made again there, or its name.
NativeString Mirror(const NativeString& dir, const Entry& entry);
