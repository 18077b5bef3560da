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

PixelPatch::PixelPatch(Canvas& canvas, const PatchOptions& options) : canvas_(canvas), options_(options) {
  if (canvas.Format().Indexed()) nearestEntry_.emplace(canvas.Format().Palette(), options.reserved);
}

// An index past the picture's palette shows black, as readers show it.
Rgba PixelPatch::IndexColour(std::uint8_t index) const {
  return index < info_.palette.size() ? info_.palette[index] : Rgba{0, 0, 0, kOpaque};
}

void PixelPatch::Begin(const PictureInfo& info) {
  info_ = info;
  if (info.indexed && canvas_.Format().Indexed()) WeighPalette();
}

void PixelPatch::WeighPalette() {
  const std::vector<Rgba> palette = canvas_.Format().Palette();
  const std::vector<Rgba>& theirs = info_.palette;
  const std::size_t shared = std::min(palette.size(), theirs.size());
  // Past the carrier's palette, the converter writes black for the indices past it.
  const bool beyondUntouched = std::all_of(theirs.begin() + static_cast<std::ptrdiff_t>(shared), theirs.end(),
                                           [](const Rgba& entry) { return entry == Rgba{0, 0, 0, kOpaque}; });
  std::size_t newColours = 0;
  for (std::size_t i = 0; i < shared; ++i) {
    if (theirs[i] == palette[i]) continue;
    paletteChanges_.push_back({static_cast<std::uint32_t>(i), palette[i], theirs[i]});
    newColours += std::find(palette.begin(), palette.end(), theirs[i]) == palette.end();
  }
  // An editor that writes the palette in an order of its own gives entries
  // that are mostly the carrier's colours elsewhere: a picture to match by
  // colour, not a palette edit, which gives entries new colours.
  byIndex_ = paletteChanges_.empty() && theirs.size() >= palette.size();
  if (newColours * 2 < paletteChanges_.size()) paletteChanges_.clear();
  if (paletteChanges_.empty() || !options_.palette) {
    // A palette of another length was made by an editor: its pixels are matched by colour.
    if (theirs.size() < palette.size() || !beyondUntouched) paletteChanges_.clear();
    return;
  }
  if (!beyondUntouched) {
    paletteTooLong_ = theirs.size();
    return;
  }
  for (const PaletteChange& change : paletteChanges_) canvas_.SetEntry(change.index, change.to);
  nearestEntry_.emplace(canvas_.Format().Palette(), options_.reserved);
  byIndex_ = true;
}

void PixelPatch::Accept(const PixelRun& run) {
  if (!info_.indexed && run.step == 1 && canvas_.IsBgr()) return PutBgr(run);
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
  std::uint8_t* row = canvas_.Row(y);
  const std::uint32_t stored = canvas_.Format().Load(row, x);
  if (IndexColour(index)[kAlpha] != kOpaque) return transparent_.Note(x, y);
  if (stored == index) return;
  if (index >= canvas_.Format().Palette().size()) return Put(x, y, IndexColour(index));
  canvas_.Format().Store(row, x, index);
  NoteChanged(x, y);
}

void PixelPatch::NoteChanged(std::uint32_t x, std::uint32_t y) {
  ++changed_;
  changedBox_.Add(x, y);
}

void PixelPatch::Put(std::uint32_t x, std::uint32_t y, Rgba colour) {
  const PixelFormat& format = canvas_.Format();
  std::uint8_t* row = canvas_.Row(y);
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
    // A pixel a new size adds holds nothing yet.
    const bool held = found && found->index == stored && canvas_.Carried(x, y);
    held_ += held;
    if (found && options_.nearest) {
      value = found->index;
      ++mapped_;
      largestDeltaE_ = std::max(largestDeltaE_, found->deltaE);
      const auto [move, added] = moved_.try_emplace(Key(colour), 0, *found);
      if (added && moved_.size() > kColoursCounted) moved_.erase(move);
      else ++move->second.first;
    } else if (held) {
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

std::size_t PixelPatch::FarColourCount() const {
  return std::count_if(moved_.begin(), moved_.end(), [](const auto& move) { return move.second.second.deltaE > kVisibleDeltaE; });
}

std::vector<OffColour> PixelPatch::CommonFarColours(std::size_t count) const {
  std::vector<OffColour> far = MovedColours(moved_.size());
  std::erase_if(far, [](const OffColour& move) { return move.deltaE <= kVisibleDeltaE; });
  // Most pixels first, then the colour's value, so that runs repeat.
  std::sort(far.begin(), far.end(), [](const OffColour& a, const OffColour& b) {
    return a.pixels != b.pixels ? a.pixels > b.pixels : Key(a.colour) < Key(b.colour);
  });
  far.resize(std::min(count, far.size()));
  return far;
}

std::vector<OffColour> PixelPatch::MovedColours(std::size_t count) const {
  const std::vector<Rgba>& palette = canvas_.Format().Palette();
  std::vector<OffColour> moved;
  for (const auto& [key, move] : moved_)
    moved.push_back({FromKey(key), move.first, move.second.index, palette[move.second.index], move.second.deltaE});
  std::sort(moved.begin(), moved.end(), [](const OffColour& a, const OffColour& b) {
    if (a.deltaE != b.deltaE) return a.deltaE > b.deltaE;
    return a.pixels != b.pixels ? a.pixels > b.pixels : Key(a.colour) < Key(b.colour);
  });
  moved.resize(std::min(count, moved.size()));
  return moved;
}

std::vector<OffColour> PixelPatch::Commonest(const std::unordered_map<std::uint32_t, std::uint64_t>& counts,
                                             std::size_t count) const {
  std::vector<std::pair<std::uint32_t, std::uint64_t>> byCount(counts.begin(), counts.end());
  // Most pixels first, then the colour's value, so that runs repeat.
  std::sort(byCount.begin(), byCount.end(),
            [](const auto& a, const auto& b) { return a.second != b.second ? a.second > b.second : a.first < b.first; });
  byCount.resize(std::min(count, byCount.size()));
  const std::vector<Rgba>& palette = canvas_.Format().Palette();
  NearestEntry nearest(palette, options_.reserved);
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

// The common form, byte by byte; where the pixels lie is noted once a run.
void PixelPatch::PutBgr(const PixelRun& run) {
  std::uint8_t* stored = canvas_.Row(run.y) + 3 * std::size_t{run.x};
  const std::uint8_t* pixel = run.pixels;
  std::uint32_t changed = 0, first = 0, last = 0;
  for (std::uint32_t i = 0; i < run.count; ++i, stored += 3, pixel += kRgbaBytes) {
    if (pixel[kAlpha] != kOpaque) {
      transparent_.Note(run.x + i, run.y);
    } else if (stored[0] != pixel[2] || stored[1] != pixel[1] || stored[2] != pixel[0]) {
      stored[0] = pixel[2], stored[1] = pixel[1], stored[2] = pixel[0];
      first = changed++ == 0 ? i : first;
      last = i;
    }
  }
  if (changed == 0) return;
  changed_ += changed;
  changedBox_.Add(run.x + first, run.y);
  changedBox_.Add(run.x + last, run.y);
}

PatchResult PatchPayload(Platform& os, std::vector<std::uint8_t>& payload, const BitmapRows& rows,
                         const NativeString& picture, const PatchOptions& options, std::span<std::uint8_t> buffer) {
  PatchResult result;
  Canvas canvas;
  if ((result.trouble = canvas.Open(payload, rows)) != Canvas::Trouble::kNone) {
    result.refusal = Refusal::kNotStorable;
    result.fault = canvas.Fault();
    return result;
  }
  result.width = canvas.Width(), result.height = canvas.Height();
  PixelPatch patch(canvas, options);
  const auto read = [&] {
    const PictureTarget target{canvas.Width(), canvas.Height(), canvas.Format().HasAlpha(),
                               canvas.Header().namedAlpha != 0, canvas.Stride()};
    return options.read(os, picture, target, patch, buffer);
  };
  result.picture = read();
  // A picture of another size, taken at its size: read again onto a canvas of it.
  if (result.picture.kind == PictureProblem::Kind::kWrongSize && options.resize) {
    if (!canvas.Resize(result.picture.width, result.picture.height)) {
      result.refusal = Refusal::kTooLarge;
      return result;
    }
    result.resized = true;
    result.newWidth = canvas.Width(), result.newHeight = canvas.Height();
    result.picture = read();
  }
  result.changed = patch.Changed();
  result.changedBox = patch.ChangedBox();
  result.mapped = patch.Mapped();
  result.held = patch.Held();
  result.largestDeltaE = patch.LargestDeltaE();
  result.farColourCount = patch.FarColourCount();
  result.farColours = patch.CommonFarColours(kColoursListed);
  result.moved = patch.MovedColours(kColoursMoved);
  result.paletteChanges = patch.PaletteChanges();
  if (result.picture.kind == PictureProblem::Kind::kWrongSize) {
    result.refusal = Refusal::kWrongSize;
  } else if (result.picture) {
    result.refusal = Refusal::kPicture;
  } else if (patch.PaletteTooLong()) {
    result.refusal = Refusal::kPaletteTooLong;
    result.paletteEntries = patch.PaletteTooLong();
  } else if (!options.palette && !result.paletteChanges.empty()) {
    result.refusal = Refusal::kPaletteChanged;
  } else if (patch.Transparent().count) {
    result.refusal = Refusal::kTransparent;
    result.pixels = patch.Transparent();
  } else if (patch.OffPalette().count) {
    result.refusal = Refusal::kOffPalette;
    result.pixels = patch.OffPalette();
    result.offColours = patch.CommonOffColours(kColoursListed);
  } else if (std::optional<std::vector<std::uint8_t>> remade = canvas.Remade(payload, result.changed > 0)) {
    payload = std::move(*remade);
  }
  return result;
}
