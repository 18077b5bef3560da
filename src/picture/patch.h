// A picture's pixels put into the carried bitmap, in memory: each pixel whose
// colour changed is stored in the bitmap's own form, and every other keeps
// its stored bits exactly, so an unedited picture changes no byte.
//
// A picture without alpha leaves the bitmap's alpha as it was. A picture
// whose palette begins with the bitmap's own is stored index for index, so
// that a pixel moved to a duplicate entry keeps it; an index past the
// bitmap's palette, unless the pixel holds it already, and any other picture
// are matched by colour.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "colour.h"
#include "picture.h"
#include "pixels.h"

// Pixels of one kind: how many, and the first of them from the top left.
struct PixelTally {
  std::uint64_t count = 0;
  std::uint32_t x = 0;
  std::uint32_t y = 0;

  void Note(std::uint32_t atX, std::uint32_t atY);
};

// A colour the palette lacks: how many pixels had it, and the entry nearest it.
struct OffColour {
  Rgba colour{};
  std::uint64_t pixels = 0;
  std::uint32_t nearest = 0;
  Rgba nearestColour{};
  double deltaE = 0;
};

class PixelPatch final : public PictureSink {
 public:
  // `nearest`: a colour a palette lacks is stored as its nearest entry.
  PixelPatch(BitmapPixels& bitmap, bool nearest);

  void Begin(const PictureInfo& info) override;
  void Take(const PixelRun& run) override;

  std::uint64_t Changed() const { return changed_; }
  // Pixels the bitmap cannot hold, which are left as they were.
  const PixelTally& Transparent() const { return transparent_; }
  const PixelTally& OffPalette() const { return offPalette_; }
  // The colours most pixels had of those off the palette, at most `count`.
  std::vector<OffColour> CommonOffColours(std::size_t count) const;
  // With `nearest`: the pixels stored as their nearest entry, and how far the farthest went.
  std::uint64_t Mapped() const { return mapped_; }
  double LargestDeltaE() const { return largestDeltaE_; }
  // Of the colours stored as their nearest entry, those moved farther than
  // kVisibleDeltaE: how many, and the commonest, at most `count`.
  std::size_t FarColourCount() const { return farColours_.size(); }
  std::vector<OffColour> CommonFarColours(std::size_t count) const;

 private:
  Rgba IndexColour(std::uint8_t index) const;
  void Put(std::uint32_t x, std::uint32_t y, Rgba colour);
  void PutIndex(std::uint32_t x, std::uint32_t y, std::uint8_t index);
  void PutBgr(const PixelRun& run);
  void NoteOffPalette(std::uint32_t x, std::uint32_t y, Rgba colour);
  std::vector<OffColour> Commonest(const std::unordered_map<std::uint32_t, std::uint64_t>& counts,
                                   std::size_t count) const;

  BitmapPixels& bitmap_;
  bool nearest_;
  bool byIndex_ = false;
  PictureInfo info_;
  std::uint64_t changed_ = 0;
  PixelTally transparent_, offPalette_;
  std::unordered_map<std::uint32_t, std::uint64_t> offColours_;  // pixels of each, for the first many
  std::optional<NearestEntry> nearestEntry_;
  std::uint64_t mapped_ = 0;
  double largestDeltaE_ = 0;
  std::unordered_map<std::uint32_t, std::uint64_t> farColours_;  // pixels of each, for the first many
};
