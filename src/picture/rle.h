// The BMP format's run-length encodings of palette indices, RLE8 and RLE4,
// decoded in this one place and encoded. Rows come in the order they are
// stored, one index a pixel, whatever order the picture shows them in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// A bitmap as its RLE data covers it: `width` pixels to a row, `rows` rows,
// and a `depth` of 8 bits (RLE8) or 4 (RLE4).
struct RleShape {
  std::uint32_t width = 0;
  std::uint32_t rows = 0;
  int depth = 8;
};

// Why RLE data was refused.
enum class RleFault {
  kNone,
  kCutShort,        // the data ends before its end of bitmap
  kRunPastLastRow,  // pixels set below the last row
  kJumpPastEnd,     // a delta moves past where the end of bitmap would leave it
};

// The refusal in words, as the tools show a picture's damage.
const char* RleFaultWords(RleFault fault);

// Fills `out` with the next `size` bytes of the data; false when there are
// none, having noted why where the source has a reason of its own.
using RleSource = std::function<bool(std::uint8_t* out, std::size_t size)>;
// Takes pixels `x` onwards of stored row `row`, one index each.
using RleSink = std::function<void(std::uint32_t row, std::uint32_t x, std::span<const std::uint8_t> indices)>;

// Decodes RLE data from `source` into `sink`, every pixel of every row once,
// in pieces of up to `piece` pixels, or whole rows when `piece` is 0, so that
// memory follows the width and never a count the data claims. Pixels the
// data leaves unset, by a delta or an early end of line or of bitmap, are
// index 0; pixels past a row's width are dropped, as writers pad rows with
// them. A piece is given once the data moves past it, so the sink may have
// taken pixels of data refused later.
RleFault DecodeRle(const RleSource& source, const RleShape& shape, std::uint32_t piece, const RleSink& sink);

// What decoding data in memory gave: the fault, and the bytes read, up to
// and including the end of bitmap when there is no fault.
struct RleDecoded {
  RleFault fault = RleFault::kNone;
  std::size_t used = 0;
};

// DecodeRle of `data`, which never reads past it.
RleDecoded DecodeRleBytes(std::span<const std::uint8_t> data, const RleShape& shape, std::uint32_t piece,
                          const RleSink& sink);

// The RLE data of `indices`, `shape.width` of them to a row, rows in stored
// order: runs of one index, or of RLE4's two alternating, up to 255 pixels;
// stretches without them of 3 pixels or more as they are, RLE4's of an even
// length; an end of line after every row and an end of bitmap after the last.
// None when `indices` is not width x rows long, an index does not fit the
// depth, or the depth is neither 8 nor 4.
std::optional<std::vector<std::uint8_t>> EncodeRle(std::span<const std::uint8_t> indices, const RleShape& shape);

// A BMP file of `head`, its headers and palette up to the first pixel, then
// `pixels`, then `tail`, the bytes that followed the pixels it replaces:
// biSizeImage the size of `pixels`, bfSize that of the whole. None when
// `head` does not reach the size fields or a size does not fit their 32 bits.
std::optional<std::vector<std::uint8_t>> BmpWithPixels(std::span<const std::uint8_t> head,
                                                       std::span<const std::uint8_t> pixels,
                                                       std::span<const std::uint8_t> tail);
