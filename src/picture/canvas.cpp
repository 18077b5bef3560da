#include "canvas.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

bool IsRle(std::uint32_t compression) { return compression == bmp::kRle8 || compression == bmp::kRle4; }

}  // namespace

Canvas::Trouble Canvas::Open(std::span<std::uint8_t> payload, const BitmapRows& rows) {
  payload_ = payload;
  rows_ = rows;
  if (rows.form == BitmapForm::kPlain || ReadBmpHeader(payload, &header_) != BmpRead::kOk) return Trouble::kNoPixels;
  const bool rle = rows.form == BitmapForm::kCompressed && IsRle(header_.compression);
  if (rows.form == BitmapForm::kCompressed && !rle) return Trouble::kNoPixels;
  if (!format_.Open(header_, payload.first(std::min<std::uint64_t>(payload.size(), header_.pixelOffset))))
    return Trouble::kCutPalette;
  width_ = static_cast<std::uint32_t>(header_.width);
  if (!rle) {
    height_ = static_cast<std::uint32_t>(rows.count);
    stride_ = rows.stride;
    first_ = payload.data() + rows.offset;
    pixelsEnd_ = rows.offset + rows.count * rows.stride;
    carriedWidth_ = width_, carriedHeight_ = height_;
    return Trouble::kNone;
  }
  height_ = header_.Rows();
  carriedWidth_ = width_, carriedHeight_ = height_;
  stride_ = header_.PackedStride();
  if (std::uint64_t{width_} * height_ > kMostCanvasPixels) return Trouble::kTooLarge;
  own_.assign(static_cast<std::size_t>(stride_ * height_), 0);
  first_ = own_.data();
  apart_ = true;
  const RleShape shape{width_, height_, header_.depth};
  const RleDecoded decoded = DecodeRleBytes(
      payload.subspan(std::min<std::uint64_t>(payload.size(), header_.pixelOffset)), shape, 0,
      [&](std::uint32_t row, std::uint32_t x, std::span<const std::uint8_t> indices) {
        std::uint8_t* stored = Row(Shown(row));
        for (std::size_t i = 0; i < indices.size(); ++i) format_.Store(stored, x + static_cast<std::uint32_t>(i), indices[i]);
      });
  fault_ = decoded.fault;
  pixelsEnd_ = header_.pixelOffset + decoded.used;
  return fault_ == RleFault::kNone ? Trouble::kNone : Trouble::kRleDamaged;
}

std::uint32_t Canvas::Shown(std::uint32_t row) const {
  return IsRle(header_.compression) && !header_.TopDown() ? height_ - 1 - row : row;
}

bool Canvas::Resize(std::uint32_t width, std::uint32_t height) {
  if (width > kMostCanvasSide || height > kMostCanvasSide || std::uint64_t{width} * height > kMostCanvasPixels) return false;
  // Rows keep the form the bitmap stores them in: packed, or padded to 32 bits.
  BmpHeader resized = header_;
  resized.width = static_cast<std::int32_t>(width);
  const bool padded = !apart_ && rows_.stride != header_.PackedStride();
  const std::uint64_t stride = padded ? resized.Stride() : resized.PackedStride();
  std::vector<std::uint8_t> rows;
  try {
    rows.assign(static_cast<std::size_t>(stride * height), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  // A colour a picture without alpha leaves as it is shows opaque where it is new.
  const std::uint32_t fill = format_.Indexed() ? 0 : format_.ValueOf({0, 0, 0, kOpaque}, 0).value_or(0);
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* row = rows.data() + y * stride;
    for (std::uint32_t x = 0; x < width; ++x)
      format_.Store(row, x, x < width_ && y < height_ ? format_.Load(Row(y), x) : fill);
  }
  own_ = std::move(rows);
  first_ = own_.data();
  apart_ = resized_ = true;
  header_.width = resized.width;
  header_.height = header_.TopDown() ? -static_cast<std::int32_t>(height) : static_cast<std::int32_t>(height);
  width_ = width;
  height_ = height;
  stride_ = stride;
  return true;
}

void Canvas::SetEntry(std::uint32_t index, Rgba colour) {
  std::uint8_t* entry = payload_.data() + header_.HeadersEnd() + std::size_t{index} * header_.PaletteEntry();
  entry[0] = colour[2], entry[1] = colour[1], entry[2] = colour[0];
  format_.Open(header_, payload_.first(std::min<std::uint64_t>(payload_.size(), header_.pixelOffset)));
}

std::optional<std::vector<std::uint8_t>> Canvas::Remade(std::span<const std::uint8_t> payload, bool changed) const {
  if (!apart_ || (!resized_ && !changed)) return std::nullopt;
  const std::span<const std::uint8_t> head = payload.first(std::min<std::uint64_t>(payload.size(), header_.pixelOffset));
  const std::span<const std::uint8_t> tail = payload.subspan(std::min<std::uint64_t>(payload.size(), pixelsEnd_));
  std::vector<std::uint8_t> pixels;
  if (IsRle(header_.compression)) {
    std::vector<std::uint8_t> indices(std::size_t{width_} * height_);
    for (std::uint32_t row = 0; row < height_; ++row) {
      const std::uint8_t* shown = Row(Shown(row));
      for (std::uint32_t x = 0; x < width_; ++x) indices[std::size_t{row} * width_ + x] = static_cast<std::uint8_t>(format_.Load(shown, x));
    }
    std::optional<std::vector<std::uint8_t>> encoded = EncodeRle(indices, {width_, height_, header_.depth});
    if (!encoded) return std::nullopt;
    pixels = std::move(*encoded);
  } else {
    pixels = own_;
  }
  std::optional<std::vector<std::uint8_t>> remade = BmpWithPixels(head, pixels, tail);
  if (!remade || !resized_) return remade;
  bmp::PutU32(*remade, bmp::kWidth, static_cast<std::uint32_t>(header_.width));
  bmp::PutU32(*remade, bmp::kHeight, static_cast<std::uint32_t>(header_.height));
  return remade;
}
