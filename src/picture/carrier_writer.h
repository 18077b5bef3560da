// The carrier with an edited picture put back: its own bytes, with only the
// payload's pixel bytes replaced, each pixel in the carried bitmap's own form
// and stride, so every other byte and the file's length stay as they were.
// A pixel whose colour did not change keeps its stored bits exactly.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "../convert/bitmap_writer.h"
#include "picture.h"

// Why a picture cannot go back into its carrier.
struct Refusal {
  enum class Why { kNone, kUnreadable, kWrongSize, kTransparent, kOffPalette, kNotStorable };
  Refusal() = default;
  Refusal(Why why, SystemError cause = {}) : why(why), cause(cause) {}

  Why why = Why::kNone;
  SystemError cause;     // kUnreadable, where the system said why
  std::string reason;    // kUnreadable, where the image library did
  std::uint32_t width = 0, height = 0;  // kWrongSize: the picture's
  std::uint32_t bitmapWidth = 0, bitmapHeight = 0;  // and the bitmap's
  std::uint64_t pixels = 0;             // kTransparent, kOffPalette: how many
  std::uint32_t x = 0, y = 0;           // and the first, from the top left
};

class CarrierWriter final : public OutputWriter {
 public:
  // Puts the picture in the file `picture` into the carrier; `inPlace` when
  // the output replaces the carrier itself, so that an unchanged one is left
  // alone. Copies the carrier through `buffer`, and converts it there, with
  // `gathering` as BitmapWriter takes it, to see whether a BMP picture is
  // just what converting it writes.
  CarrierWriter(Platform& os, NativeString picture, bool inPlace, std::span<std::uint8_t> buffer,
                std::span<std::uint8_t> gathering)
      : os_(os), picturePath_(std::move(picture)), inPlace_(inPlace), buffer_(buffer), gathering_(gathering) {}

  Error Start(FileHandle file, FileHandle source) override;
  // kRefused, with refusal() saying why, as soon as the bitmap's header
  // shows that the picture cannot go back.
  Error Append(std::span<const std::uint8_t> bytes) override;
  Ending Finish(CarrierForm form) override;

  // After Finish: whether the picture differs from what the carrier held.
  bool Changed() const { return changed_; }
  const Refusal& refusal() const { return refusal_; }

 private:
  Error ReadPicture();
  // Whether the picture file is the very bitmap converting the carrier writes.
  bool Converts(CarrierForm form) const;
  Error Refuse(Refusal refusal);
  Error PutPixels(const BitmapRows& rows);
  Error WriteCarrier(CarrierForm form);
  Error Finished(CarrierForm form);

  Platform& os_;
  NativeString picturePath_;
  bool inPlace_;
  std::span<std::uint8_t> buffer_;
  std::span<std::uint8_t> gathering_;
  FileHandle file_ = kNoFile;
  FileHandle source_ = kNoFile;
  std::uint64_t sourceSize_ = 0;
  std::vector<std::uint8_t> payload_;
  std::vector<std::uint8_t> pictureFile_;  // kept only for a bitmap that cannot be decoded
  Picture picture_;
  bool pictureRead_ = false;
  bool changed_ = false;
  BitmapRows rows_;
  Refusal refusal_;
};
