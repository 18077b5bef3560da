// The PNG output: the picture the converted bitmap shows, RGB, or RGBA where
// the bitmap's header gives an alpha mask.
#pragma once

#include <cstdint>
#include <span>

#include "../convert/job.h"
#include "held_payload.h"
#include "picture.h"

// Holds the payload whole, then writes it a row at a time. kRefused for a
// bitmap it cannot show, which its description tells: compressed, without a
// standard header, without the palette or masks its pixels need, or without
// pixels at all.
class PngWriter final : public OutputWriter {
 public:
  // Writes the file through `buffer`.
  PngWriter(Platform& os, std::span<std::uint8_t> buffer) : os_(os), buffer_(buffer) {}

  Error Start(FileHandle file, const OpenedFile& source) override;
  Error Append(std::span<const std::uint8_t> bytes) override;
  Ending Finish(CarrierForm form) override;

 private:
  Error Write(const BitmapRows& rows);

  Platform& os_;
  std::span<std::uint8_t> buffer_;
  FileHandle file_ = kNoFile;
  HeldPayload payload_;
};
