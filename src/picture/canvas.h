// The carried bitmap's pixels as a picture shows them, counted from the top
// left, in the bitmap's own form: over the payload's own rows where they
// lie there (row y the payload's row y, since the game stores rows top-down
// under a positive height and a standard top-down bitmap does so under a
// negative one), or decoded from RLE into rows of its own, bottom-up under a
// positive height, as BMP readers show them. A canvas may take another size
// and another palette, and makes the payload that holds it as it then is.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "../convert/bitmap_rows.h"
#include "pixels.h"
#include "rle.h"

// The most pixels a canvas holds in rows of its own, decoded or resized:
// 8192 x 8192, so that memory follows a picture's size, never one a header
// or a picture claims beyond it.
inline constexpr std::uint64_t kMostCanvasPixels = std::uint64_t{1} << 26;
// The longest side a canvas is resized to, so that a row's size stays far
// within 32 bits at every depth.
inline constexpr std::uint32_t kMostCanvasSide = 1u << 16;

class Canvas {
 public:
  // Why a payload shows no picture a canvas can hold.
  enum class Trouble {
    kNone,
    kNoPixels,    // a form whose pixels are not had here: no standard header, JPEG or PNG inside
    kCutPalette,  // its palette or masks are not all in the payload
    kRleDamaged,  // its RLE data is refused, as Fault() tells
    kTooLarge,    // more pixels than kMostCanvasPixels to decode
  };

  // Over `payload`, whose rows `rows` found: their own rows, or RLE decoded.
  Trouble Open(std::span<std::uint8_t> payload, const BitmapRows& rows);
  RleFault Fault() const { return fault_; }

  const PixelFormat& Format() const { return format_; }
  const BmpHeader& Header() const { return header_; }
  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  // A row as the bitmap stores it, and its size.
  std::uint8_t* Row(std::uint32_t y) const { return first_ + y * stride_; }
  std::uint64_t Stride() const { return stride_; }
  Rgba Get(std::uint32_t x, std::uint32_t y) const { return format_.Colour(format_.Load(Row(y), x)); }
  // Whether the pixels are plain blue, green and red bytes, as most are:
  // no bitfields come at 24 bits.
  bool IsBgr() const { return format_.Depth() == 24; }

  // Whether the pixel held a carried pixel before the canvas was resized.
  bool Carried(std::uint32_t x, std::uint32_t y) const { return x < carriedWidth_ && y < carriedHeight_; }

  // Takes the size `width` x `height`: the pixels within both kept, the
  // others opaque black or index 0. False past kMostCanvasPixels, or when
  // memory runs out.
  bool Resize(std::uint32_t width, std::uint32_t height);
  // Gives palette entry `index`, which the palette holds, the colour `colour`.
  void SetEntry(std::uint32_t index, Rgba colour);

  // The payload that holds the canvas as it now is, made from `payload`, the
  // one it was opened over, whose pixels changed where `changed` says: none
  // where the pixels and palette lie in it as they are (as RLE data does
  // whose pixels did not change); else the headers and palette, then the
  // rows in the bitmap's own form (RLE encoded anew), then what followed
  // them, the sizes to match.
  std::optional<std::vector<std::uint8_t>> Remade(std::span<const std::uint8_t> payload, bool changed) const;

 private:
  // Where stored row `row` shows: from the top, or bottom-up for RLE under a positive height.
  std::uint32_t Shown(std::uint32_t row) const;

  std::span<std::uint8_t> payload_;
  BitmapRows rows_;
  BmpHeader header_;
  PixelFormat format_;
  std::uint32_t width_ = 0, height_ = 0;
  std::uint32_t carriedWidth_ = 0, carriedHeight_ = 0;
  std::uint64_t stride_ = 0;
  std::vector<std::uint8_t> own_;  // rows of its own, top first, where they are not the payload's
  std::uint8_t* first_ = nullptr;  // row 0, the payload's or its own
  bool apart_ = false;             // the rows are its own
  bool resized_ = false;
  std::uint64_t pixelsEnd_ = 0;    // where the payload's pixels end
  RleFault fault_ = RleFault::kNone;
};
