#include "bmp_reader.h"

#include <algorithm>
#include <vector>

namespace {

// The bytes before the pixels that the headers and a palette take at most.
constexpr std::size_t kHeadersLimit = bmp::kHeadersMax + 256 * bmp::kPaletteEntry;

// Pixels read and given at a time: a multiple of 8, so that a piece of any
// depth starts on a byte, and few enough that a piece of any width and depth
// takes little memory.
constexpr std::uint32_t kPiecePixels = 4096;
constexpr std::size_t kMostPixelBytes = 4, kRgbaBytes = 4;

// RLE's escapes, after a count of 0.
constexpr std::uint8_t kEndOfLine = 0, kEndOfBitmap = 1, kDelta = 2;

PictureProblem Damaged(const char* how) { return PictureProblem::Damaged(how); }

std::uint32_t RowAt(const BmpHeader& header, std::uint32_t stored) {
  return header.TopDown() ? stored : header.Rows() - 1 - stored;
}

// Calls `take` with each piece of each row as stored, from where `file`
// stands: its row, first pixel, pixel count and bytes, until it returns
// false; padding is skipped.
template <typename Take>
PictureProblem ForEachPiece(PictureFile& file, const BmpHeader& header, Take take) {
  const auto width = static_cast<std::uint32_t>(header.width);
  const std::uint64_t padding = header.Stride() - header.PackedStride();
  std::vector<std::uint8_t> stored(std::size_t{kPiecePixels} * kMostPixelBytes);
  for (std::uint32_t r = 0; r < header.Rows(); ++r) {
    for (std::uint32_t x = 0; x < width; x += kPiecePixels) {
      const std::uint32_t count = std::min(kPiecePixels, width - x);
      const std::size_t bytes = (std::size_t{count} * header.depth + 7) / 8;
      if (PictureProblem problem = file.Read(stored.data(), bytes)) return problem;
      if (!take(r, x, count, stored.data())) return {};
    }
    if (PictureProblem problem = file.Skip(padding)) return problem;
  }
  return {};
}

PictureProblem ReadRows(PictureFile& file, const BmpHeader& header, const PixelFormat& format, PictureSink& sink) {
  std::vector<std::uint8_t> pixels(std::size_t{kPiecePixels} * kRgbaBytes);
  const auto give = [&](std::uint32_t r, std::uint32_t x, std::uint32_t count, const std::uint8_t* piece) {
    if (format.Indexed()) {
      for (std::uint32_t i = 0; i < count; ++i) pixels[i] = static_cast<std::uint8_t>(format.Load(piece, i));
    } else {
      format.DecodeRow(piece, count, pixels.data(), kRgbaBytes);
    }
    sink.Accept({RowAt(header, r), x, 1, count, pixels.data()});
    return true;
  };
  return ForEachPiece(file, header, give);
}

// Whether any 32-bit pixel's fourth byte is not zero, reading the rows from
// where `file` stands, and back there after.
PictureProblem AnyFourthByte(PictureFile& file, const BmpHeader& header, bool* any) {
  const std::uint64_t start = file.Offset();
  *any = false;
  const auto look = [&](std::uint32_t, std::uint32_t, std::uint32_t count, const std::uint8_t* piece) {
    for (std::uint32_t i = 0; i < count && !*any; ++i) *any = piece[kMostPixelBytes * i + 3] != 0;
    return !*any;
  };
  const PictureProblem problem = ForEachPiece(file, header, look);
  file.Return(start);
  return problem;
}

// Runs of one index, runs of indices as they are, ends of lines and jumps,
// given in pieces of a line as they fill; pixels that nothing sets show
// index 0, as readers show them. Writers encode rows padded as uncompressed
// ones are, so pixels past the width are dropped; none may lie past the
// last row.
class RleRows {
 public:
  RleRows(PictureFile& file, const BmpHeader& header, PictureSink& sink)
      : file_(file), header_(header), sink_(sink), width_(static_cast<std::uint32_t>(header.width)),
        height_(header.Rows()), piece_(kPiecePixels), nibbles_(header.compression == bmp::kRle4) {}

  PictureProblem Read() {
    for (;;) {
      std::uint8_t code[2];
      if (PictureProblem problem = file_.Read(code, sizeof code)) return problem;
      if (code[0] > 0) {
        for (int i = 0; i < code[0]; ++i) {
          if (!Put(nibbles_ ? (i % 2 ? code[1] & 0x0F : code[1] >> 4) : code[1])) return Damaged("RLE runs past the last row");
        }
      } else if (code[1] == kEndOfLine) {
        EndLine();
      } else if (code[1] == kEndOfBitmap) {
        while (row_ < height_) EndLine();
        return {};
      } else if (code[1] == kDelta) {
        std::uint8_t move[2];
        if (PictureProblem problem = file_.Read(move, sizeof move)) return problem;
        const std::uint64_t x = x_ + move[0];
        for (int i = 0; i < move[1]; ++i) EndLine();
        x_ = x;
        if (row_ > height_) return Damaged("RLE jumps past the picture");
      } else if (PictureProblem problem = Literal(code[1])) {
        return problem;
      }
    }
  }

 private:
  // `count` indices as they are, padded to a whole number of 16-bit words.
  PictureProblem Literal(int count) {
    const std::size_t size = nibbles_ ? (count + 1) / 2 : count;
    std::uint8_t bytes[256];
    if (PictureProblem problem = file_.Read(bytes, size + size % 2)) return problem;
    for (int i = 0; i < count; ++i) {
      if (!Put(nibbles_ ? (i % 2 ? bytes[i / 2] & 0x0F : bytes[i / 2] >> 4) : bytes[i])) return Damaged("RLE runs past the last row");
    }
    return {};
  }

  bool Put(int index) {
    if (row_ >= height_) return false;
    if (x_ < width_) {
      // Pixels only move right along a line, so the pieces before are done.
      while (x_ >= start_ + kPiecePixels) Give();
      piece_[x_ - start_] = static_cast<std::uint8_t>(index);
    }
    ++x_;
    return true;
  }

  // Gives the piece from `start_` and begins the next.
  void Give() {
    const std::uint32_t count = std::min(kPiecePixels, width_ - start_);
    sink_.Accept({RowAt(header_, row_), start_, 1, count, piece_.data()});
    start_ += count;
    std::fill(piece_.begin(), piece_.end(), 0);
  }

  void EndLine() {
    if (row_ < height_) {
      while (start_ < width_) Give();
    }
    ++row_;
    x_ = 0;
    start_ = 0;
  }

  PictureFile& file_;
  const BmpHeader& header_;
  PictureSink& sink_;
  std::uint32_t width_, height_;
  std::vector<std::uint8_t> piece_;
  bool nibbles_;
  std::uint64_t x_ = 0;
  std::uint32_t start_ = 0;  // the piece's first pixel
  std::uint32_t row_ = 0;    // in the order rows are stored
};

}  // namespace

PictureProblem ReadBmp(PictureFile& file, const PictureTarget& target, PictureSink& sink) {
  const std::span<const std::uint8_t> head = file.Peek(kHeadersLimit);
  BmpHeader header;
  const BmpRead read = ReadBmpHeader(head, &header);
  // The headers are known to be cut short only where the file ends.
  if (read == BmpRead::kCutShort || (read == BmpRead::kOk && head.size() < header.HeadersEnd()))
    return {head.size() == file.Size() ? PictureProblem::Kind::kCutShort : PictureProblem::Kind::kUnknownForm};
  if (read != BmpRead::kOk) return {PictureProblem::Kind::kUnknownForm};
  if (UnsupportedForm(header) != BmpUnsupported::kNone) return PictureProblem::Unsupported(header);
  if (!PixelsReadable(header)) return Damaged("its header's fields contradict each other");
  if (static_cast<std::uint32_t>(header.width) != target.width || header.Rows() != target.height)
    return PictureProblem::WrongSize(static_cast<std::uint32_t>(header.width), header.Rows());
  // The headers and palette, kept as reading on moves the file's buffer.
  const std::vector<std::uint8_t> headers(head.begin(),
                                          head.begin() + std::min<std::size_t>(head.size(), header.pixelOffset));
  if (PictureProblem problem = file.Skip(header.pixelOffset)) return problem;
  // Editors that name an alpha mask over uncompressed pixels mean it, unless
  // the target's header names one the same way, which the converter leaves
  // unused. A fourth byte without one is alpha, as browsers show it, where
  // the target holds alpha and some pixel's is not 0; elsewhere it is
  // unused, as in the converter's own BMP of a 32-bit bitmap without alpha.
  if (header.namedAlpha && !target.alphaUnused) header.masks[3] = header.namedAlpha;
  if (target.alpha && header.depth == 32 && header.compression == bmp::kRgb && !header.masks[3]) {
    bool any = false;
    if (PictureProblem problem = AnyFourthByte(file, header, &any)) return problem;
    if (any) header.masks[3] = bmp::kFourthByte;
  }
  PixelFormat format;
  if (!format.Open(header, headers))
    return Damaged("its masks are cut short");
  sink.Begin({target.width, target.height, format.Indexed(), format.HasAlpha(),
              format.Indexed() ? format.Palette() : std::vector<Rgba>{}});
  if (header.compression == bmp::kRle8 || header.compression == bmp::kRle4) return RleRows(file, header, sink).Read();
  return ReadRows(file, header, format, sink);
}

PictureProblem ReadBmpPicture(Platform& os, const NativeString& path, const PictureTarget& target, PictureSink& sink,
                              std::span<std::uint8_t> buffer) {
  PictureFile file(os, buffer);
  if (PictureProblem problem = file.Open(path)) return problem;
  const std::span<const std::uint8_t> signature = file.Peek(sizeof bmp::kSignature);
  if (!std::equal(signature.begin(), signature.end(), std::begin(bmp::kSignature)))
    return {PictureProblem::Kind::kUnknownForm};
  if (signature.size() < sizeof bmp::kSignature) return {PictureProblem::Kind::kCutShort};
  if (PictureProblem problem = ReadBmp(file, target, sink)) return problem;
  return file.Finish();
}
