// What a review tells of a pack: each carrier packed, or that would be, with
// what changed; each refused, with why; how many were left as they were.
#pragma once

#include <cstdint>
#include <vector>

#include "../picture/patch.h"

// One carrier packed, or that would be.
struct ReviewedCarrier {
  NativeString carrier;
  NativeString picture;  // the picture taken
  std::size_t number = 0;  // its pictures are review-pictures/<number>-before.png and so on
  bool pictures = false;   // they were written; else `problem` says why not
  NativeString problem;
  std::uint32_t width = 0, height = 0;        // the bitmap before
  std::uint32_t newWidth = 0, newHeight = 0;  // and after
  std::uint64_t changed = 0;  // pixels that show another colour after, or are new
  PixelBox box;               // where they lie
  std::vector<OffColour> moved;  // with --nearest, the colours moved, the farthest first
  std::vector<PaletteChange> palette;
};

// A carrier that does not go back, and why.
struct RefusedCarrier {
  NativeString carrier;
  NativeString reason;
};

// Where the pictures lie in the review's folder.
inline constexpr const NativeChar* kReviewPictures = NATIVE_TEXT("review-pictures");

struct Review {
  NativeString folder;
  bool checkOnly = false;
  bool interrupted = false;
  NativeString summary;  // the command line's summary of the run
  std::vector<ReviewedCarrier> packed;
  std::vector<RefusedCarrier> refused;
  std::size_t unchanged = 0;
};
