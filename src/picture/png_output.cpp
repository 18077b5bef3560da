#include "png_output.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "canvas.h"
#include "png_encoder.h"

namespace {

// The largest index a pixel holds, where the palette leaves room for one past it.
std::uint32_t LargestIndex(const Canvas& bitmap) {
  const PixelFormat& format = bitmap.Format();
  std::uint32_t largest = 0;
  if (format.Palette().size() == std::size_t{1} << format.Depth()) return largest;
  for (std::uint32_t y = 0; y < bitmap.Height(); ++y) {
    for (std::uint32_t x = 0; x < bitmap.Width(); ++x) largest = std::max(largest, format.Load(bitmap.Row(y), x));
  }
  return largest;
}

}  // namespace

Error WritePngOutput(std::span<std::uint8_t> payload, const BitmapRows& rows, OutputTarget& target,
                     std::span<std::uint8_t> buffer) {
  Canvas bitmap;
  if (bitmap.Open(payload, rows) != Canvas::Trouble::kNone || bitmap.Width() == 0 || bitmap.Height() == 0)
    return {Status::kRefused};
  const PixelFormat& format = bitmap.Format();
  const bool alpha = format.HasAlpha();
  PngForm form{.width = bitmap.Width(), .height = bitmap.Height(),
               .colours = alpha ? PngForm::Colours::kTrueColourAlpha : PngForm::Colours::kTrueColour};
  std::vector<Rgba> palette;
  if (format.Indexed()) {
    // The carrier's own palette, in its order, and black for indices past it,
    // as they show: an editor then paints with the game's colours alone.
    palette = format.Palette();
    palette.resize(std::max<std::size_t>(palette.size(), LargestIndex(bitmap) + 1), Rgba{0, 0, 0, kOpaque});
    form = {.width = form.width, .height = form.height, .colours = PngForm::Colours::kIndexed, .depth = format.Depth(),
            .palette = palette};
  }
  // Indices are packed as PNG packs them, first pixel in the top bits; the
  // bits past the last pixel are cleared.
  const std::size_t indexBytes = (std::size_t{form.width} * form.depth + 7) / 8;
  const auto lastByte = static_cast<std::uint8_t>(0xFF00 >> (form.width * form.depth % 8 ? form.width * form.depth % 8 : 8));
  const auto fill = [&](std::uint32_t y, std::uint8_t* row) {
    if (!format.Indexed()) return format.DecodeRow(bitmap.Row(y), bitmap.Width(), row, alpha ? 4 : 3);
    std::memcpy(row, bitmap.Row(y), indexBytes);
    row[indexBytes - 1] &= lastByte;
  };
  BufferedOutput out(target, buffer);
  SystemError failed;
  const auto write = [&](std::span<const std::uint8_t> bytes) { return !(failed = out.Put(bytes)); };
  bool outOfMemory = false;
  if (WritePng(form, fill, write, &outOfMemory) && !(failed = out.Flush())) return {};
  return outOfMemory ? Error{Status::kOutOfMemory} : Error{Status::kIoError, Step::kWriteOutput, failed};
}
