// The way back: a carrier with an edited picture put into it. Only the
// payload's pixel bytes change; every other byte of the carrier, and its
// length, stay as they were, and a pixel whose colour did not change keeps
// its stored bits exactly.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "../convert/job.h"
#include "held_payload.h"
#include "patch.h"
#include "picture.h"

// What a pack found: why it refused the picture, or how many pixels it changed.
struct PackReport final : WriterReport {
  enum class Why {
    kNone,
    kPicture,         // the picture cannot be read: `picture` says why
    kTransparent,     // pixels the bitmap cannot hold: `pixels`
    kOffPalette,      // colours the palette lacks: `pixels`
    kNotStorable,     // the bitmap's pixels cannot be had, and the picture is not its conversion
    kCarrierChanged,  // the carrier changed while it was packed
  };
  Why why = Why::kNone;
  PictureProblem picture;
  PixelTally pixels;
  std::vector<OffColour> offColours;  // kOffPalette: the commonest, most first
  std::uint64_t changed = 0;          // pixels stored anew
  std::uint64_t mapped = 0;           // of them, stored as the nearest entry of the palette
  double largestDeltaE = 0;           // the farthest such a pixel went
};

// Off colours a report lists at most.
inline constexpr std::size_t kOffColoursListed = 5;

class PackWriter final : public OutputWriter {
 public:
  // Puts the picture at `picture` into the carrier. `inPlace` when the output
  // is the carrier itself, which an unchanged picture leaves alone;
  // `nearest` to store a colour a palette lacks as its nearest entry. Reads
  // the picture through `reading` and writes through `writing`.
  PackWriter(Platform& os, NativeString picture, bool inPlace, bool nearest, std::span<std::uint8_t> reading,
             std::span<std::uint8_t> writing)
      : os_(os), picture_(std::move(picture)), inPlace_(inPlace), nearest_(nearest), reading_(reading),
        writing_(writing) {}

  Error Start(FileHandle file, const OpenedFile& source) override;
  Error Append(std::span<const std::uint8_t> bytes) override;
  // The carrier is known to convert before the picture is opened.
  Ending Finish(CarrierForm form) override;

 private:
  // Puts the picture into the payload; the report says what came of it.
  void Patch(const BitmapRows& rows, PackReport* report);

  Platform& os_;
  NativeString picture_;
  bool inPlace_;
  bool nearest_;
  std::span<std::uint8_t> reading_;
  std::span<std::uint8_t> writing_;
  FileHandle file_ = kNoFile;
  FileHandle source_ = kNoFile;
  FileStamp sourceStamp_;
  HeldPayload payload_;
};
