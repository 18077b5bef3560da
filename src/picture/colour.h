// Colours as people see them: CIELAB, from sRGB under D65, and how far apart
// two are, CIE76's ΔE*ab, the plain distance between them.
#pragma once

#include <bitset>
#include <cstddef>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "pixels.h"

struct Lab {
  double l = 0, a = 0, b = 0;
};

// The distance past which a colour reads as another colour at a glance, not
// the same one shifted: about four times the smallest difference people
// notice side by side (2.3), and what separates an antialiased edge's
// shades, which --nearest moves by less, from a colour the palette has
// nothing like.
inline constexpr double kVisibleDeltaE = 10;

Lab ToLab(Rgba colour);
double DeltaE(const Lab& one, const Lab& other);

// Palette entries, by index.
using EntrySet = std::bitset<256>;

// The palette entry nearest each colour asked for, the lowest index of
// those as near, none of `reserved`; remembered for each colour, as an edit
// repeats a few.
class NearestEntry {
 public:
  explicit NearestEntry(std::span<const Rgba> palette, const EntrySet& reserved = {});

  struct Found {
    std::uint32_t index = 0;
    double deltaE = 0;
  };
  // None for a palette of no entry but those reserved.
  std::optional<Found> Find(Rgba colour);

 private:
  std::vector<Lab> palette_;
  EntrySet reserved_;
  std::unordered_map<std::uint32_t, Found> found_;
};
