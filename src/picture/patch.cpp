#include "patch.h"

#include <algorithm>

namespace {

constexpr std::size_t kRgbaBytes = 4;
constexpr std::size_t kAlpha = 3;
// Colours counted at most, so that a picture of every colour takes no more.
constexpr std::size_t kColoursCounted = 1 << 16;

// Adds a pixel of the colour `key` to `counts`, which counts only so many colours.
void Count(std::unordered_map<std::uint32_t, std::uint64_t>& counts, std::uint32_t key) {
  const auto counted = counts.find(key);
  if (counted != counts.end()) ++counted->second;
  else if (counts.size() < kColoursCounted) counts.emplace(key, 1);
}

std::uint32_t Key(Rgba colour) { return std::uint32_t{colour[0]} << 16 | std::uint32_t{colour[1]} << 8 | colour[2]; }

Rgba FromKey(std::uint32_t key) {
  return {static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key),
          kOpaque};
}

}  // namespace

void PixelBox::Add(std::uint32_t atX, std::uint32_t atY) {
  if (width == 0) {
    *this = {atX, atY, 1, 1};
    return;
  }
  const std::uint32_t right = std::max(x + width, atX + 1), bottom = std::max(y + height, atY + 1);
  x = std::min(x, atX), y = std::min(y, atY);
  width = right - x, height = bottom - y;
}

void PixelTally::Note(std::uint32_t atX, std::uint32_t atY) {
  // Pixels come in the order their file keeps them, bottom-up or pass by pass.
  if (count++ == 0 || atY < y || (atY == y && atX < x)) x = atX, y = atY;
}

PixelPatch::PixelPatch(BitmapPixels& bitmap, bool nearest) : bitmap_(bitmap), nearest_(nearest) {
  if (bitmap.Format().Indexed()) nearestEntry_.emplace(bitmap.Format().Palette());
}

// An index past the picture's palette shows black, as readers show it.
Rgba PixelPatch::IndexColour(std::uint8_t index) const {
  return index < info_.palette.size() ? info_.palette[index] : Rgba{0, 0, 0, kOpaque};
}

void PixelPatch::Begin(const PictureInfo& info) {
  info_ = info;
  const std::vector<Rgba>& palette = bitmap_.Format().Palette();
  byIndex_ = info.indexed && bitmap_.Format().Indexed() && info.palette.size() >= palette.size() &&
             std::equal(palette.begin(), palette.end(), info.palette.begin());
}

void PixelPatch::Accept(const PixelRun& run) {
  if (!info_.indexed && run.step == 1 && bitmap_.IsBgr()) return PutBgr(run);
  for (std::uint32_t i = 0; i < run.count; ++i) {
    const std::uint32_t x = run.x + i * run.step;
    if (byIndex_) {
      PutIndex(x, run.y, run.pixels[i]);
      continue;
    }
    Rgba colour;
    if (info_.indexed) colour = IndexColour(run.pixels[i]);
    else std::copy_n(run.pixels + kRgbaBytes * i, kRgbaBytes, colour.begin());
    Put(x, run.y, colour);
  }
}

void PixelPatch::PutIndex(std::uint32_t x, std::uint32_t y, std::uint8_t index) {
  std::uint8_t* row = bitmap_.Row(y);
  const std::uint32_t stored = bitmap_.Format().Load(row, x);
  if (stored == index) return;
  if (index >= bitmap_.Format().Palette().size()) return Put(x, y, IndexColour(index));
  bitmap_.Format().Store(row, x, index);
  NoteChanged(x, y);
}

void PixelPatch::NoteChanged(std::uint32_t x, std::uint32_t y) {
  ++changed_;
  changedBox_.Add(x, y);
}

void PixelPatch::Put(std::uint32_t x, std::uint32_t y, Rgba colour) {
  const PixelFormat& format = bitmap_.Format();
  std::uint8_t* row = bitmap_.Row(y);
  const std::uint32_t stored = format.Load(row, x);
  const Rgba shown = format.Colour(stored);
  // A picture that says nothing of alpha leaves each pixel's as it was.
  if (!info_.alpha) colour[kAlpha] = shown[kAlpha];
  // Fully transparent before and after is unchanged, whatever colour an
  // editor gave it.
  if (colour == shown || (shown[kAlpha] == 0 && colour[kAlpha] == 0)) return;
  if (colour[kAlpha] != kOpaque && !format.HasAlpha()) return transparent_.Note(x, y);
  std::optional<std::uint32_t> value = format.ValueOf(colour, stored);
  if (!value && nearestEntry_) {
    const std::optional<NearestEntry::Found> found = nearestEntry_->Find(colour);
    if (found && found->index == stored) ++held_;
    if (found && nearest_) {
      value = found->index;
      ++mapped_;
      largestDeltaE_ = std::max(largestDeltaE_, found->deltaE);
      if (found->deltaE > kVisibleDeltaE) Count(farColours_, Key(colour));
    } else if (found && found->index == stored) {
      return;
    }
  }
  if (!value) return NoteOffPalette(x, y, colour);
  if (*value == stored) return;
  format.Store(row, x, *value);
  NoteChanged(x, y);
}

void PixelPatch::NoteOffPalette(std::uint32_t x, std::uint32_t y, Rgba colour) {
  offPalette_.Note(x, y);
  Count(offColours_, Key(colour));
}

std::vector<OffColour> PixelPatch::CommonOffColours(std::size_t count) const { return Commonest(offColours_, count); }

std::vector<OffColour> PixelPatch::CommonFarColours(std::size_t count) const { return Commonest(farColours_, count); }

std::vector<OffColour> PixelPatch::Commonest(const std::unordered_map<std::uint32_t, std::uint64_t>& counts,
                                             std::size_t count) const {
  std::vector<std::pair<std::uint32_t, std::uint64_t>> byCount(counts.begin(), counts.end());
  // Most pixels first, then the colour's value, so that runs repeat.
  std::sort(byCount.begin(), byCount.end(),
            [](const auto& a, const auto& b) { return a.second != b.second ? a.second > b.second : a.first < b.first; });
  byCount.resize(std::min(count, byCount.size()));
  const std::vector<Rgba>& palette = bitmap_.Format().Palette();
  NearestEntry nearest(palette);
  std::vector<OffColour> common;
  for (const auto& [key, pixels] : byCount) {
    OffColour off{FromKey(key), pixels};
    if (const std::optional<NearestEntry::Found> found = nearest.Find(off.colour)) {
      off.nearest = found->index;
      off.nearestColour = palette[found->index];
      off.deltaE = found->deltaE;
    }
    common.push_back(off);
  }
  return common;
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
      NoteChanged(run.x + i, run.y);
    }
  }
}

PatchResult PatchPayload(Platform& os, std::span<std::uint8_t> payload, const BitmapRows& rows,
                         const NativeString& picture, bool nearest, std::span<std::uint8_t> buffer,
                         PictureReader read) {
  PatchResult result;
  BitmapPixels bitmap;
  if (!bitmap.Open(payload, rows)) {
    result.refusal = Refusal::kNotStorable;
    return result;
  }
  PixelPatch patch(bitmap, nearest);
  const PictureTarget target{bitmap.Width(), bitmap.Height(), bitmap.Format().HasAlpha(),
                             bitmap.Header().namedAlpha != 0, rows.stride};
  result.picture = read(os, picture, target, patch, buffer);
  result.changed = patch.Changed();
  result.changedBox = patch.ChangedBox();
  result.mapped = patch.Mapped();
  result.held = patch.Held();
  result.largestDeltaE = patch.LargestDeltaE();
  result.farColourCount = patch.FarColourCount();
  result.farColours = patch.CommonFarColours(kColoursListed);
  if (result.picture) {
    result.refusal = Refusal::kPicture;
  } else if (patch.Transparent().count) {
    result.refusal = Refusal::kTransparent;
    result.pixels = patch.Transparent();
  } else if (patch.OffPalette().count) {
    result.refusal = Refusal::kOffPalette;
    result.pixels = patch.OffPalette();
    result.offColours = patch.CommonOffColours(kColoursListed);
  }
  return result;
}
