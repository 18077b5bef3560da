// make-carrier: writes a carrier GIF of a generated bitmap, or of a given BMP
// file, in one of the forms a game may store it, and optionally the bitmap
// its conversion must produce. A generated bitmap's bytes are drawn from the
// seed, padding and unused bits included; a palette's second colour is its
// first again.
//   make-carrier [--comment] [--width W] [--height H] [--depth D] [--colours N] [--compression C]
//                [--info-size I] [--seed S] [FORM...] OUT.gif [EXPECTED.bmp]
//   make-carrier [--comment] --payload BMP [FORM...] OUT.gif [EXPECTED.bmp]
//   make-carrier --list FILE    one carrier a line, each with the options above
//   make-carrier --recode IN.bmp OUT.bmp    an 8- or 4-bit BMP RLE-encoded if
//                it is uncompressed, else RLE-decoded, by the codec under test
// FORM: --top-down (a negative height over rows reversed), --packed (rows
// without padding) [--zero-sizes], --trailer N (N bytes after the rows).

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "../src/picture/pixels.h"
#include "../src/picture/rle.h"
#include "support.h"

namespace {

// A standard bitmap of `depth` bits a pixel, its palette's first colour
// twice, of `colours` entries or as many as the depth allows; with
// bitfields, masks drawn from the seed too, wherever they lie.
Bytes MakeBitmap(std::int32_t width, std::int32_t height, std::uint16_t depth, std::uint32_t compression,
                 std::uint32_t infoSize, std::uint32_t colours, std::uint32_t seed) {
  const bool masks = compression == bmp::kBitfields || compression == bmp::kAlphaBitfields;
  const std::uint32_t palette = depth > 8 ? 0 : bmp::kPaletteEntry * (colours ? colours : 1u << depth);
  // Masks follow a header too small to hold them, the 56-byte one being the first with room for all four.
  const std::uint32_t after = masks && infoSize < 56 ? 16 : 0;
  Bytes bitmap = MakeStandardBitmap({.width = width, .height = height, .depth = depth, .compression = compression,
                                     .infoSize = infoSize, .between = palette + after}, seed);
  if (palette > bmp::kPaletteEntry)
    std::copy_n(&bitmap[bmp::kHeadersEnd], bmp::kPaletteEntry, &bitmap[bmp::kHeadersEnd + bmp::kPaletteEntry]);
  if (colours) bmp::PutU32(bitmap, bmp::kColorsUsed, colours);
  for (std::size_t i = bmp::kMasks; masks && i < bmp::kMasks + 16; ++i) bitmap[i] = static_cast<std::uint8_t>(seed * 73 + i * 151);
  return bitmap;
}

constexpr const char* kUsage =
    "usage: make-carrier [--comment] [--width W] [--height H] [--depth D] [--colours N] [--compression C]\n"
    "                    [--info-size I] [--seed S] [FORM...] OUT.gif [EXPECTED.bmp]\n"
    "       make-carrier [--comment] --payload BMP [FORM...] OUT.gif [EXPECTED.bmp]\n"
    "       make-carrier --list FILE\n"
    "       make-carrier --recode IN.bmp OUT.bmp\n"
    "FORM: --top-down, --packed [--zero-sizes], --trailer N\n";

// Makes one carrier; false on a usage error.
bool MakeOne(const std::vector<std::string>& args) {
  CarrierForm form = CarrierForm::kImage;
  std::int32_t width = 64, height = 48;
  std::uint16_t depth = 24;
  std::uint32_t seed = 1, trailer = 0, compression = bmp::kRgb, infoSize = 40, colours = 0;
  std::string payloadPath;
  bool packed = false, statedSizes = true, topDown = false;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--comment") form = CarrierForm::kComment;
    else if (arg == "--packed") packed = true;
    else if (arg == "--zero-sizes") statedSizes = false;
    else if (arg == "--top-down") topDown = true;
    else if (arg == "--width" && hasValue) width = std::atoi(args[++i].c_str());
    else if (arg == "--height" && hasValue) height = std::atoi(args[++i].c_str());
    else if (arg == "--depth" && hasValue) depth = static_cast<std::uint16_t>(std::atoi(args[++i].c_str()));
    else if (arg == "--colours" && hasValue) colours = static_cast<std::uint32_t>(std::atoi(args[++i].c_str()));
    else if (arg == "--compression" && hasValue) compression = static_cast<std::uint32_t>(std::atoi(args[++i].c_str()));
    else if (arg == "--info-size" && hasValue) infoSize = static_cast<std::uint32_t>(std::atoi(args[++i].c_str()));
    else if (arg == "--seed" && hasValue) seed = static_cast<std::uint32_t>(std::strtoul(args[++i].c_str(), nullptr, 10));
    else if (arg == "--trailer" && hasValue) trailer = static_cast<std::uint32_t>(std::strtoul(args[++i].c_str(), nullptr, 10));
    else if (arg == "--payload" && hasValue) payloadPath = args[++i];
    else if (arg[0] != '-' && paths.size() < 2) paths.push_back(arg);
    else return false;
  }
  if (paths.empty() || width < 0) return false;
  Bytes bmp = payloadPath.empty() ? MakeBitmap(width, height, depth, compression, infoSize, colours, seed) : ReadFileBytes(payloadPath);
  if (topDown) bmp = TopDown(bmp);
  if (packed) bmp = PackRows(bmp, statedSizes);
  for (std::uint32_t i = 0; i < trailer; ++i) bmp.push_back(static_cast<std::uint8_t>(i * 37 + seed));
  WriteFileBytes(paths[0], MakeCarrier(bmp, form));
  if (paths.size() > 1) WriteFileBytes(paths[1], ExpectedOutput(bmp));
  return true;
}

// Writes the BMP file at `in`, 8- or 4-bit, as `out`, its rows RLE-encoded
// when they are uncompressed, else decoded to uncompressed rows, the rest
// kept but for the compression and sizes; false when it is no such file or
// its RLE is refused.
bool Recode(const std::string& in, const std::string& out) {
  Bytes file = ReadFileBytes(in);
  BmpHeader header;
  PixelFormat format;
  if (ReadBmpHeader(file, &header) != BmpRead::kOk || !PixelsReadable(header) || !header.Indexed() ||
      header.depth < 4 || header.pixelOffset > file.size() || !format.Open(header, file))
    return false;
  const RleShape shape{static_cast<std::uint32_t>(header.width), header.Rows(), header.depth};
  const std::size_t stride = header.Stride();
  const std::span<const std::uint8_t> pixels = std::span(file).subspan(header.pixelOffset);
  std::optional<Bytes> data = Bytes(stride * shape.rows);
  if (header.compression == bmp::kRgb) {
    if (pixels.size() < data->size()) return false;
    Bytes indices(std::size_t{shape.width} * shape.rows);
    for (std::size_t i = 0; i < indices.size(); ++i)
      indices[i] = static_cast<std::uint8_t>(format.Load(&pixels[i / shape.width * stride], i % shape.width));
    data = EncodeRle(indices, shape);
    bmp::PutU32(file, bmp::kCompression, shape.depth == 8 ? bmp::kRle8 : bmp::kRle4);
  } else {
    const auto take = [&](std::uint32_t row, std::uint32_t x, std::span<const std::uint8_t> given) {
      for (std::uint32_t i = 0; i < given.size(); ++i) format.Store(&(*data)[row * stride], x + i, given[i]);
    };
    if (DecodeRleBytes(pixels, shape, 0, take).fault != RleFault::kNone) return false;
    bmp::PutU32(file, bmp::kCompression, bmp::kRgb);
  }
  const std::optional<Bytes> recoded = data ? BmpWithPixels(std::span(file).first(header.pixelOffset), *data, {})
                                            : std::nullopt;
  if (recoded) WriteFileBytes(out, *recoded);
  return recoded.has_value();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--recode") {
    if (Recode(argv[2], argv[3])) return 0;
    std::fprintf(stderr, "make-carrier: %s is no 8- or 4-bit BMP, uncompressed or of RLE that decodes\n", argv[2]);
    return 1;
  }
  std::vector<std::vector<std::string>> carriers;
  if (argc == 3 && std::string(argv[1]) == "--list") {
    std::ifstream list(argv[2]);
    for (std::string line; std::getline(list, line);) {
      std::istringstream words(line);
      carriers.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
    }
  } else {
    carriers.emplace_back(argv + 1, argv + argc);
  }
  try {
    for (const auto& args : carriers) {
      if (!MakeOne(args)) {
        std::fputs(kUsage, stderr);
        return 2;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-carrier: %s\n", e.what());
    return 1;
  }
  return 0;
}
