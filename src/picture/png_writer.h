// The PNG output: the picture the converted bitmap shows, RGB, or RGBA where
// the bitmap's header gives an alpha mask.
#pragma once

#include <vector>

#include "../convert/bitmap_rows.h"
#include "../convert/job.h"

inline constexpr const NativeChar* kPngSuffix = NATIVE_TEXT(".png");

// Holds the payload whole, as a picture must be before it can be encoded.
// kRefused for a bitmap it cannot show: compressed, without a standard
// header, or without the palette or masks its pixels need.
class PngWriter final : public OutputWriter {
 public:
  explicit PngWriter(Platform& os) : os_(os) {}

  Error Start(FileHandle file, FileHandle source) override;
  Error Append(std::span<const std::uint8_t> bytes) override;
  Ending Finish(CarrierForm form) override;

 private:
  Error Write();

  Platform& os_;
  FileHandle file_ = kNoFile;
  std::vector<std::uint8_t> payload_;
  BitmapRows rows_;
};
