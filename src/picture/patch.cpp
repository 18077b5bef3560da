#include "patch.h"

#include <algorithm>

namespace {

constexpr std::size_t kRgbaBytes = 4;
constexpr std::size_t kAlpha = 3;

}  // namespace

void PixelTally::Note(std::uint32_t atX, std::uint32_t atY) {
  // Pixels come in the order their file keeps them, bottom-up or pass by pass.
  if (count++ == 0 || atY < y || (atY == y && atX < x)) x = atX, y = atY;
}

void PixelPatch::Begin(const PictureInfo& info) { info_ = info; }

void PixelPatch::Take(const PixelRun& run) {
  if (!info_.indexed && run.step == 1 && bitmap_.IsBgr()) return PutBgr(run);
  for (std::uint32_t i = 0; i < run.count; ++i) {
    const std::uint32_t x = run.x + i * run.step;
    Rgba colour;
    if (info_.indexed) {
      // An index past the palette shows black, as readers show it.
      const std::uint8_t index = run.pixels[i];
      colour = index < info_.palette.size() ? info_.palette[index] : Rgba{0, 0, 0, kOpaque};
    } else {
      std::copy_n(run.pixels + kRgbaBytes * i, kRgbaBytes, colour.begin());
    }
    Put(x, run.y, colour);
  }
}

void PixelPatch::Put(std::uint32_t x, std::uint32_t y, Rgba colour) {
  const PixelFormat& format = bitmap_.Format();
  std::uint8_t* row = bitmap_.Row(y);
  const std::uint32_t stored = format.Load(row, x);
  const Rgba shown = format.Colour(stored);
  // Fully transparent before and after is unchanged, whatever colour an
  // editor gave it.
  if (colour == shown || (shown[kAlpha] == 0 && colour[kAlpha] == 0)) return;
  if (colour[kAlpha] != kOpaque && !format.HasAlpha()) return transparent_.Note(x, y);
  const std::optional<std::uint32_t> value = format.ValueOf(colour, stored);
  if (!value) return offPalette_.Note(x, y);
  if (*value == stored) return;
  format.Store(row, x, *value);
  ++changed_;
}

// The common form, byte by byte.
void PixelPatch::PutBgr(const PixelRun& run) {
  std::uint8_t* stored = bitmap_.Row(run.y) + 3 * std::size_t{run.x};
  const std::uint8_t* pixel = run.pixels;
  for (std::uint32_t i = 0; i < run.count; ++i, stored += 3, pixel += kRgbaBytes) {
    if (pixel[kAlpha] != kOpaque) {
      transparent_.Note(run.x + i, run.y);
    } else if (stored[0] != pixel[2] || stored[1] != pixel[1] || stored[2] != pixel[0]) {
      stored[0] = pixel[2], stored[1] = pixel[1], stored[2] = pixel[0];
      ++changed_;
    }
  }
}
