#include "rle.h"

#include <algorithm>
#include <limits>

#include "../convert/bmp_header.h"

namespace {

// A count of 0 starts an escape: the end of a line, of the bitmap, a delta,
// or, from 3 on, that many pixels as they are.
constexpr std::uint8_t kEscape = 0, kEndOfLine = 0, kEndOfBitmap = 1, kDelta = 2;
constexpr std::size_t kShortestAbsolute = 3;
constexpr std::size_t kLongestRun = 255;
// RLE4's absolute runs are written of an even length: some readers take an
// odd one a pixel short.
constexpr std::size_t kShortestEvenAbsolute = 4;
constexpr int kNibbleDepth = 4, kByteDepth = 8;

// Pixel `i` of those a run's bytes give: RLE4 packs two, the high nibble first.
std::uint8_t PixelOf(const std::uint8_t* bytes, std::size_t i, bool nibbles) {
  if (!nibbles) return bytes[i];
  return i % 2 ? bytes[i / 2] & 0x0F : bytes[i / 2] >> 4;
}

// Where the data has got to, and the piece of the row not yet given.
class RleRows {
 public:
  RleRows(const RleShape& shape, std::uint32_t piece, const RleSink& sink)
      : shape_(shape), sink_(sink), piece_(std::min(shape.width, piece ? piece : shape.width)) {}

  // False below the last row.
  bool Put(std::uint8_t index) {
    if (row_ >= shape_.rows) return false;
    if (x_ < shape_.width) {
      // Pixels only move right along a line, so the pieces before are done.
      while (x_ >= start_ + piece_.size()) Give();
      piece_[x_ - start_] = index;
    }
    ++x_;
    return true;
  }

  // Lines past the last row hold nothing, so the position stays there.
  void EndLine() {
    if (row_ >= shape_.rows) return;
    while (start_ < shape_.width) Give();
    ++row_;
    x_ = 0;
    start_ = 0;
  }

  void EndBitmap() {
    while (row_ < shape_.rows) EndLine();
  }

  // False when the move lands past the end, where the end of bitmap leaves it.
  bool Move(std::uint8_t right, std::uint8_t down) {
    const std::uint64_t row = std::uint64_t{row_} + down, x = x_ + right;
    if (row > shape_.rows || (row == shape_.rows && x > 0)) return false;
    while (row_ < row) EndLine();
    x_ = x;
    return true;
  }

 private:
  // Gives the piece from `start_` and begins the next.
  void Give() {
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(piece_.size(), shape_.width - start_));
    sink_(row_, start_, std::span(piece_).first(count));
    start_ += count;
    std::fill(piece_.begin(), piece_.end(), 0);
  }

  const RleShape& shape_;
  const RleSink& sink_;
  std::vector<std::uint8_t> piece_;
  std::uint64_t x_ = 0;      // past the width while pixels are dropped
  std::uint32_t start_ = 0;  // the piece's first pixel
  std::uint32_t row_ = 0;    // in the order rows are stored
};

// Whether the pixel at `x` starts a run: RLE8 repeats one index, RLE4 two
// in turn, so a run is a pixel that recurs `period` pixels on.
bool StartsRun(std::span<const std::uint8_t> row, std::size_t x, std::size_t period) {
  return x + period < row.size() && row[x + period] == row[x];
}

// The byte that gives the pixel at `x`, and under RLE4 the next one too.
std::uint8_t ByteAt(std::span<const std::uint8_t> row, std::size_t x, bool nibbles) {
  if (!nibbles) return row[x];
  return static_cast<std::uint8_t>(row[x] << 4 | (x + 1 < row.size() ? row[x + 1] : 0));
}

void EncodeRow(std::span<const std::uint8_t> row, bool nibbles, std::vector<std::uint8_t>& out) {
  const std::size_t period = nibbles ? 2 : 1;
  std::size_t x = 0;
  while (x < row.size()) {
    const std::size_t left = std::min(row.size() - x, kLongestRun);
    if (StartsRun(row, x, period)) {
      std::size_t run = period + 1;
      while (run < left && row[x + run] == row[x + run - period]) ++run;
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(ByteAt(row, x, nibbles));
      x += run;
      continue;
    }
    std::size_t stretch = 1;
    while (stretch < left && !StartsRun(row, x + stretch, period)) ++stretch;
    if (nibbles) stretch &= ~std::size_t{1};
    if (stretch >= (nibbles ? kShortestEvenAbsolute : kShortestAbsolute)) {
      out.push_back(kEscape);
      out.push_back(static_cast<std::uint8_t>(stretch));
      const std::size_t first = out.size();
      for (std::size_t i = 0; i < stretch; i += period) out.push_back(ByteAt(row, x + i, nibbles));
      if ((out.size() - first) % 2) out.push_back(0);
      x += stretch;
      continue;
    }
    // Too few for a run as they are: one pixel, or RLE4's two in one byte.
    const std::size_t count = std::min(row.size() - x, period);
    out.push_back(static_cast<std::uint8_t>(count));
    out.push_back(ByteAt(row, x, nibbles));
    x += count;
  }
  out.push_back(kEscape);
  out.push_back(kEndOfLine);
}

}  // namespace

const char* RleFaultWords(RleFault fault) {
  switch (fault) {
    case RleFault::kNone: break;
    case RleFault::kCutShort: return "RLE data cut short";
    case RleFault::kRunPastLastRow: return "RLE runs past the last row";
    case RleFault::kJumpPastEnd: return "RLE jumps past the picture";
  }
  return "";
}

RleFault DecodeRle(const RleSource& source, const RleShape& shape, std::uint32_t piece, const RleSink& sink) {
  const bool nibbles = shape.depth == kNibbleDepth;
  RleRows rows(shape, piece, sink);
  // `count` pixels of `bytes`, as they are or one byte's repeated.
  const auto put = [&](const std::uint8_t* bytes, std::size_t count, bool repeated) {
    for (std::size_t i = 0; i < count; ++i) {
      if (!rows.Put(PixelOf(bytes, repeated ? i % 2 * nibbles : i, nibbles))) return false;
    }
    return true;
  };
  for (;;) {
    std::uint8_t code[2];
    if (!source(code, sizeof code)) return RleFault::kCutShort;
    if (code[0] != kEscape) {
      const std::uint8_t repeated[1] = {code[1]};
      if (!put(repeated, code[0], true)) return RleFault::kRunPastLastRow;
    } else if (code[1] == kEndOfLine) {
      rows.EndLine();
    } else if (code[1] == kEndOfBitmap) {
      rows.EndBitmap();
      return RleFault::kNone;
    } else if (code[1] == kDelta) {
      std::uint8_t move[2];
      if (!source(move, sizeof move)) return RleFault::kCutShort;
      if (!rows.Move(move[0], move[1])) return RleFault::kJumpPastEnd;
    } else {
      // Padded to a whole number of 16-bit words.
      std::uint8_t bytes[kLongestRun + 1];
      const std::size_t size = nibbles ? (code[1] + 1) / 2 : code[1];
      if (!source(bytes, size + size % 2)) return RleFault::kCutShort;
      if (!put(bytes, code[1], false)) return RleFault::kRunPastLastRow;
    }
  }
}

RleDecoded DecodeRleBytes(std::span<const std::uint8_t> data, const RleShape& shape, std::uint32_t piece,
                          const RleSink& sink) {
  RleDecoded decoded;
  const RleSource source = [&](std::uint8_t* out, std::size_t size) {
    if (size > data.size() - decoded.used) return false;
    std::copy_n(data.begin() + decoded.used, size, out);
    decoded.used += size;
    return true;
  };
  decoded.fault = DecodeRle(source, shape, piece, sink);
  return decoded;
}

std::optional<std::vector<std::uint8_t>> EncodeRle(std::span<const std::uint8_t> indices, const RleShape& shape) {
  if (shape.depth != kNibbleDepth && shape.depth != kByteDepth) return std::nullopt;
  if (indices.size() != std::uint64_t{shape.width} * shape.rows) return std::nullopt;
  const bool nibbles = shape.depth == kNibbleDepth;
  if (nibbles && std::any_of(indices.begin(), indices.end(), [](std::uint8_t i) { return i >> kNibbleDepth; }))
    return std::nullopt;
  std::vector<std::uint8_t> out;
  for (std::uint32_t r = 0; r < shape.rows; ++r)
    EncodeRow(indices.subspan(std::size_t{r} * shape.width, shape.width), nibbles, out);
  out.push_back(kEscape);
  out.push_back(kEndOfBitmap);
  return out;
}

std::optional<std::vector<std::uint8_t>> BmpWithPixels(std::span<const std::uint8_t> head,
                                                       std::span<const std::uint8_t> pixels,
                                                       std::span<const std::uint8_t> tail) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
  if (head.size() < bmp::kImageSize + 4) return std::nullopt;
  if (pixels.size() > kMax || head.size() > kMax - pixels.size() || tail.size() > kMax - head.size() - pixels.size())
    return std::nullopt;
  std::vector<std::uint8_t> file(head.begin(), head.end());
  file.insert(file.end(), pixels.begin(), pixels.end());
  file.insert(file.end(), tail.begin(), tail.end());
  bmp::PutU32(file, bmp::kImageSize, static_cast<std::uint32_t>(pixels.size()));
  bmp::PutU32(file, bmp::kFileSize, static_cast<std::uint32_t>(file.size()));
  return file;
}
