#include "bmp_reader.h"

#include <algorithm>
#include <vector>

#include "rle.h"

namespace {

// The bytes before the pixels that the headers and a palette take at most.
constexpr std::size_t kHeadersLimit = bmp::kHeadersMax + 256 * bmp::kPaletteEntry;

// Pixels read and given at a time: a multiple of 8, so that a piece of any
// depth starts on a byte, and few enough that a piece of any width and depth
// takes little memory.
constexpr std::uint32_t kPiecePixels = 4096;
constexpr std::size_t kMostPixelBytes = 4, kRgbaBytes = 4;

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

// The rows of an RLE picture, in pieces as they fill; a fault of the file
// itself, cut short or changed, is the file's own.
PictureProblem ReadRle(PictureFile& file, const BmpHeader& header, PictureSink& sink) {
  PictureProblem problem;
  const RleSource source = [&](std::uint8_t* out, std::size_t size) { return !(problem = file.Read(out, size)); };
  const RleSink give = [&](std::uint32_t row, std::uint32_t x, std::span<const std::uint8_t> indices) {
    sink.Accept({RowAt(header, row), x, 1, static_cast<std::uint32_t>(indices.size()), indices.data()});
  };
  const RleFault fault =
      DecodeRle(source, {static_cast<std::uint32_t>(header.width), header.Rows(), header.depth}, kPiecePixels, give);
  if (fault == RleFault::kCutShort) return problem;
  return fault == RleFault::kNone ? PictureProblem{} : Damaged(RleFaultWords(fault));
}

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
  if (header.compression == bmp::kRle8 || header.compression == bmp::kRle4) return ReadRle(file, header, sink);
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
