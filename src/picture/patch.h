// A picture's pixels put into the carried bitmap, in memory: each pixel whose
// colour changed is stored in the bitmap's own form, and every other keeps
// its stored bits exactly, so an unedited picture changes no byte.
#pragma once

#include <cstdint>

#include "picture.h"
#include "pixels.h"

// Pixels of one kind: how many, and the first of them from the top left.
struct PixelTally {
  std::uint64_t count = 0;
  std::uint32_t x = 0;
  std::uint32_t y = 0;

  void Note(std::uint32_t atX, std::uint32_t atY);
};

class PixelPatch final : public PictureSink {
 public:
  explicit PixelPatch(BitmapPixels& bitmap) : bitmap_(bitmap) {}

  void Begin(const PictureInfo& info) override;
  void Take(const PixelRun& run) override;

  std::uint64_t Changed() const { return changed_; }
  // Pixels the bitmap cannot hold, which are left as they were.
  const PixelTally& Transparent() const { return transparent_; }
  const PixelTally& OffPalette() const { return offPalette_; }

 private:
  void Put(std::uint32_t x, std::uint32_t y, Rgba colour);
  void PutBgr(const PixelRun& run);

  BitmapPixels& bitmap_;
  PictureInfo info_;
  std::uint64_t changed_ = 0;
  PixelTally transparent_, offPalette_;
};
