// A picture's pixels put into the carried bitmap, in memory: each pixel whose
// colour changed is stored in the bitmap's own form, and every other keeps
// its stored bits exactly, so an unedited picture changes no byte.
//
// A picture without alpha leaves the bitmap's alpha as it was. A picture
// whose palette begins with the bitmap's own is stored index for index, so
// that a pixel moved to a duplicate entry keeps it; an index past the
// bitmap's palette, unless the pixel holds it already, and any other picture
// are matched by colour. A colour a palette lacks whose nearest entry the
// pixel holds already is no change, with --nearest or without: the picture
// packs to what the carrier holds.
//
// An indexed picture whose palette differs from the carrier's entry for
// entry, as long as it (past it, only the black the converter writes for
// indices past the palette), is a palette edit: taken with `palette`, the
// carrier's entries take its colours and its pixels go by index.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "canvas.h"
#include "colour.h"
#include "picture_sink.h"

// Pixels of one kind: how many, and the first of them from the top left.
struct PixelTally {
  std::uint64_t count = 0;
  std::uint32_t x = 0;
  std::uint32_t y = 0;

  void Note(std::uint32_t atX, std::uint32_t atY);
};

// Where pixels lie: the smallest rectangle that holds them all.
struct PixelBox {
  std::uint32_t x = 0, y = 0, width = 0, height = 0;

  void Add(std::uint32_t atX, std::uint32_t atY);
};

// A colour the palette lacks: how many pixels had it, and the entry nearest it.
struct OffColour {
  Rgba colour{};
  std::uint64_t pixels = 0;
  std::uint32_t nearest = 0;
  Rgba nearestColour{};
  double deltaE = 0;
};

// A palette entry a picture changes.
struct PaletteChange {
  std::uint32_t index = 0;
  Rgba from{}, to{};
};

// How a picture goes back.
struct PatchOptions {
  bool nearest = false;  // a colour a palette lacks is stored as its nearest entry
  bool palette = false;  // a palette edit is taken: the carrier's palette takes the picture's colours
  bool resize = false;   // a picture of another size is taken at its size
  EntrySet reserved = {};  // entries the nearest colour is never, unless a pixel is their very colour
  PictureReader read = nullptr;
};

class PixelPatch final : public PictureSink {
 public:
  PixelPatch(Canvas& canvas, const PatchOptions& options);

  void Begin(const PictureInfo& info) override;
  void Accept(const PixelRun& run) override;

  std::uint64_t Changed() const { return changed_; }
  const PixelBox& ChangedBox() const { return changedBox_; }
  // Pixels of colours the palette lacks whose nearest entry each holds already.
  std::uint64_t Held() const { return held_; }
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
  std::size_t FarColourCount() const;
  std::vector<OffColour> CommonFarColours(std::size_t count) const;
  // The colours stored as their nearest entry, the farthest moved first, at most `count`.
  std::vector<OffColour> MovedColours(std::size_t count) const;
  // The entries a palette edit changes, taken or not; and, where the
  // picture's palette runs past the carrier's with other colours than
  // black, how long it is.
  const std::vector<PaletteChange>& PaletteChanges() const { return paletteChanges_; }
  std::size_t PaletteTooLong() const { return paletteTooLong_; }

 private:
  Rgba IndexColour(std::uint8_t index) const;
  // Weighs the picture's palette against the carrier's, and takes it where asked to.
  void WeighPalette();
  void Put(std::uint32_t x, std::uint32_t y, Rgba colour);
  void PutIndex(std::uint32_t x, std::uint32_t y, std::uint8_t index);
  void PutBgr(const PixelRun& run);
  void NoteOffPalette(std::uint32_t x, std::uint32_t y, Rgba colour);
  void NoteChanged(std::uint32_t x, std::uint32_t y);
  std::vector<OffColour> Commonest(const std::unordered_map<std::uint32_t, std::uint64_t>& counts,
                                   std::size_t count) const;

  Canvas& canvas_;
  const PatchOptions& options_;
  bool byIndex_ = false;
  PictureInfo info_;
  std::uint64_t changed_ = 0;
  PixelBox changedBox_;
  std::uint64_t held_ = 0;
  PixelTally transparent_, offPalette_;
  std::unordered_map<std::uint32_t, std::uint64_t> offColours_;  // pixels of each, for the first many
  std::optional<NearestEntry> nearestEntry_;
  std::uint64_t mapped_ = 0;
  double largestDeltaE_ = 0;
  // Each colour stored as its nearest entry, for the first many: its pixels and where it went.
  std::unordered_map<std::uint32_t, std::pair<std::uint64_t, NearestEntry::Found>> moved_;
  std::vector<PaletteChange> paletteChanges_;
  std::size_t paletteTooLong_ = 0;
};

// Why a picture does not go back.
enum class Refusal {
  kNone,
  kPicture,         // the picture cannot be read: the patch's `picture` says why
  kTransparent,     // pixels the bitmap cannot hold: `pixels`
  kOffPalette,      // colours the palette lacks: `pixels` and `offColours`
  kPaletteChanged,  // a palette edit, not asked to be taken: `paletteChanges`
  kPaletteTooLong,  // a palette edit of more entries than the carrier's palette: `paletteEntries`
  kWrongSize,       // a picture of another size, not asked to be taken: the patch's `picture` says which
  kTooLarge,        // a picture of more pixels than a canvas takes: the patch's `picture` says which
  kNotStorable,     // the bitmap's pixels cannot be had, and the picture is not its conversion
  kCarrierChanged,  // the carrier changed while it was packed
  kTwoEdits,        // two pictures of the carrier show different edits
  kNoPicture,       // no picture of the carrier stands where pictures are looked for
};

// What a picture does to its carrier's payload.
struct PatchResult {
  Refusal refusal = Refusal::kNone;
  PictureProblem picture;
  Canvas::Trouble trouble = Canvas::Trouble::kNone;  // with kNotStorable, why the pixels cannot be had
  RleFault fault = RleFault::kNone;
  PixelTally pixels;
  std::vector<OffColour> offColours;  // the commonest, most pixels first
  std::uint64_t changed = 0;          // pixels stored anew
  PixelBox changedBox;                // where they lie
  std::uint64_t mapped = 0;           // pixels of colours the palette lacks stored as its nearest entry
  std::uint64_t held = 0;             // of those, or without --nearest, pixels whose nearest entry they hold already
  double largestDeltaE = 0;           // the farthest such a pixel went
  std::size_t farColourCount = 0;     // colours of them moved farther than kVisibleDeltaE
  std::vector<OffColour> farColours;  // the commonest of those, most pixels first
  std::vector<OffColour> moved;       // the colours so stored, the farthest moved first, at most kColoursMoved
  std::vector<PaletteChange> paletteChanges;  // palette entries changed, or with kPaletteChanged that would be
  std::size_t paletteEntries = 0;     // with kPaletteTooLong, the picture's
  std::uint32_t width = 0, height = 0;  // the bitmap's size as carried
  bool resized = false;                 // the bitmap takes the picture's size:
  std::uint32_t newWidth = 0, newHeight = 0;  // this one
};

// Colours a result lists at most: of those off the palette or moved far, and of all moved.
inline constexpr std::size_t kColoursListed = 5;
inline constexpr std::size_t kColoursMoved = 256;

// Reads the picture at `picture` as `options` say into `payload`, a
// carrier's payload whose rows are `rows` or a copy of it, through
// `buffer`; a payload whose length changes (RLE encoded anew, another
// size) is made anew. kNotStorable, the picture unread, when the bitmap's
// pixels cannot be had.
PatchResult PatchPayload(Platform& os, std::vector<std::uint8_t>& payload, const BitmapRows& rows,
                         const NativeString& picture, const PatchOptions& options, std::span<std::uint8_t> buffer);

// Whether a picture that gave `patch` shows its carrier's own pixels, palette and size.
inline bool ShowsCarrier(const PatchResult& patch) {
  return patch.refusal == Refusal::kNone && patch.changed == 0 && patch.paletteChanges.empty() && !patch.resized;
}
