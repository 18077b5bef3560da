#include "bmp_reader.h"

#include <algorithm>
#include <vector>

namespace {

// The bytes before the pixels that the headers and a palette take at most.
constexpr std::size_t kHeadersLimit = bmp::kHeadersMax + 256 * bmp::kPaletteEntry;

// RLE's escapes, after a count of 0.
constexpr std::uint8_t kEndOfLine = 0, kEndOfBitmap = 1, kDelta = 2;

PictureProblem Damaged(const char* how) { return PictureProblem::Damaged(how); }

std::uint32_t RowAt(const BmpHeader& header, std::uint32_t stored) {
  return header.TopDown() ? stored : header.Rows() - 1 - stored;
}

PictureProblem ReadRows(PictureFile& file, const BmpHeader& header, const PixelFormat& format, PictureSink& sink) {
  const auto width = static_cast<std::uint32_t>(header.width);
  std::vector<std::uint8_t> stored(header.Stride()), pixels(std::size_t{width} * (format.Indexed() ? 1 : 4));
  for (std::uint32_t r = 0; r < header.Rows(); ++r) {
    if (PictureProblem problem = file.Read(stored.data(), stored.size())) return problem;
    if (format.Indexed()) {
      for (std::uint32_t x = 0; x < width; ++x) pixels[x] = static_cast<std::uint8_t>(format.Load(stored.data(), x));
    } else {
      format.DecodeRow(stored.data(), width, pixels.data(), 4);
    }
    sink.Take({RowAt(header, r), 0, 1, width, pixels.data()});
  }
  return {};
}

// Runs of one index, runs of indices as they are, ends of lines and jumps,
// a line at a time; pixels that nothing sets show index 0, as readers show
// them. Writers encode rows padded as uncompressed ones are, so pixels past
// the width are dropped; none may lie past the last row.
class RleRows {
 public:
  RleRows(PictureFile& file, const BmpHeader& header, PictureSink& sink)
      : file_(file), header_(header), sink_(sink), width_(static_cast<std::uint32_t>(header.width)),
        height_(header.Rows()), line_(width_), nibbles_(header.compression == bmp::kRle4) {}

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
    if (x_ < width_) line_[x_] = static_cast<std::uint8_t>(index);
    ++x_;
    return true;
  }

  void EndLine() {
    if (row_ < height_) sink_.Take({RowAt(header_, row_), 0, 1, width_, line_.data()});
    ++row_;
    x_ = 0;
    std::fill(line_.begin(), line_.end(), 0);
  }

  PictureFile& file_;
  const BmpHeader& header_;
  PictureSink& sink_;
  std::uint32_t width_, height_;
  std::vector<std::uint8_t> line_;
  bool nibbles_;
  std::uint64_t x_ = 0;
  std::uint32_t row_ = 0;  // in the order rows are stored
};

}  // namespace

PictureProblem ReadBmp(PictureFile& file, std::uint32_t width, std::uint32_t height, PictureSink& sink) {
  const std::span<const std::uint8_t> head = file.Peek(kHeadersLimit);
  BmpHeader header;
  const BmpRead read = ReadBmpHeader(head, &header);
  // The headers are known to be cut short only where the file ends.
  if (read == BmpRead::kCutShort || (read == BmpRead::kOk && head.size() < header.HeadersEnd()))
    return {head.size() == file.Size() ? PictureProblem::Kind::kCutShort : PictureProblem::Kind::kUnknownForm};
  if (read != BmpRead::kOk || !PixelsReadable(header)) return {PictureProblem::Kind::kUnknownForm};
  if (static_cast<std::uint32_t>(header.width) != width || header.Rows() != height)
    return PictureProblem::WrongSize(static_cast<std::uint32_t>(header.width), header.Rows());
  PixelFormat format;
  if (!format.Open(header, head.first(std::min<std::size_t>(head.size(), header.pixelOffset))))
    return Damaged("its masks are cut short");
  PictureInfo info{width, height, format.Indexed(), format.Indexed() ? format.Palette() : std::vector<Rgba>{}};
  sink.Begin(info);
  if (PictureProblem problem = file.Skip(header.pixelOffset)) return problem;
  if (header.compression == bmp::kRle8 || header.compression == bmp::kRle4) return RleRows(file, header, sink).Read();
  return ReadRows(file, header, format, sink);
}
