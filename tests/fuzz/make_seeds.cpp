// make-fuzz-seeds DIR: writes starting inputs for the fuzz targets: carrier
// files to DIR/carrier, bitmaps after a buffer and a piece size to DIR/bitmap,
// the heads of bitmaps too large to read back whole to DIR/head, and pictures
// of the picture target's carriers' sizes to DIR/picture.

#include <cstdio>
#include <string>

#include "../../src/picture/png_encoder.h"
#include "../support.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make-fuzz-seeds DIR\n", stderr);
    return 2;
  }
  const fs::path carriers = fs::path(argv[1]) / "carrier", bitmaps = fs::path(argv[1]) / "bitmap";
  const fs::path heads = fs::path(argv[1]) / "head", pictures = fs::path(argv[1]) / "picture";
  for (const fs::path& dir : {carriers, bitmaps, heads, pictures}) fs::create_directories(dir);
  int count = 0;
  const auto add = [&](const fs::path& dir, const Bytes& bytes) {
    WriteFileBytes(dir / ("seed" + std::to_string(count++)), bytes);
  };

  const auto addBitmap = [&](const Bytes& bmp) {
    Bytes seed{static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count * 7)};
    seed.insert(seed.end(), bmp.begin(), bmp.end());
    add(bitmaps, seed);
  };
  for (auto [width, height] : {std::pair{1, 1}, {3, 2}, {5, 4}, {13, 9}, {2, -3}, {0, 4}}) {
    const Bytes bmp = MakeBitmap(width, height, count);
    addBitmap(bmp);
    add(carriers, MakeCarrier(bmp, CarrierForm::kImage));
    add(carriers, MakeCarrier(bmp, CarrierForm::kComment));
  }
  // Each form of standard bitmap, rows packed and padded.
  for (const BitmapShape& shape : {BitmapShape{.width = 7, .height = 5, .packed = true},
                                 BitmapShape{.width = 7, .height = -5, .packed = true, .statedSizes = false},
                                 BitmapShape{.width = 9, .height = 3, .depth = 1, .between = 8},
                                 BitmapShape{.width = 5, .height = 4, .depth = 4, .packed = true, .between = 64},
                                 BitmapShape{.width = 3, .height = 3, .depth = 8, .infoSize = 124, .between = 1024},
                                 BitmapShape{.width = 5, .height = 2, .depth = 16, .compression = bmp::kBitfields,
                                            .between = 12},
                                 BitmapShape{.width = 6, .height = 2, .depth = 8, .compression = bmp::kRle8}}) {
    const Bytes bmp = MakeStandardBitmap(shape, count);
    addBitmap(bmp);
    add(carriers, MakeCarrier(bmp, CarrierForm::kComment));
  }
  Bytes wide = MakeBitmap(4, 4, 1);
  PutInt32(wide, bmp::kWidth, 400);  // rows run past the payload
  addBitmap(wide);
  add(carriers, MakeCarrier(wide, CarrierForm::kComment));
  Bytes cut = MakeCarrier(MakeBitmap(13, 9, 2), CarrierForm::kImage);
  cut.resize(cut.size() / 2);
  add(carriers, cut);
  add(carriers, MakeRawCarrier(CarrierForm::kComment, std::vector<Bytes>{{}}));
  add(carriers, MakeRawCarrier(CarrierForm::kImage, std::vector<Bytes>{Bytes(255, 7), Bytes(255, 8), {}}));
  // Blocks just short of full end the chain however much follows.
  add(carriers, MakeRawCarrier(CarrierForm::kComment, std::vector<Bytes>{Bytes(254, 5), Bytes(254, 6), Bytes(9, 7)}));
  add(carriers, Bytes(64, 0x3B));
  for (auto [width, height] : {std::pair{300, 291}, {87382, 1}, {1, 87382}, {1000, 87}, {-3, 9}}) {
    Bytes head = MakeBitmap(1, 1, count);
    head.resize(54);
    PutInt32(head, bmp::kWidth, width);
    PutInt32(head, bmp::kHeight, height);
    add(heads, head);
  }
  // The picture target's carriers are 6 x 4 and 5 x 3: pictures of those
  // sizes in a PNG of each colour form and in BMPs of several forms.
  for (const auto& size : {std::pair{6, 4}, {5, 3}}) {
    const int width = size.first, height = size.second;
    add(pictures, MakeBitmap(width, height, count));
    add(pictures, MakeStandardBitmap({.width = width, .height = height, .depth = 8, .compression = bmp::kRle8,
                                      .between = 1024}, count));
    add(pictures, MakeStandardBitmap({.width = width, .height = -height, .depth = 4, .compression = bmp::kRle4,
                                      .infoSize = 124, .between = 64}, count));
    add(pictures, MakeStandardBitmap({.width = width, .height = height, .depth = 16, .compression = bmp::kBitfields,
                                      .infoSize = 56}, count));
    add(pictures, MakeStandardBitmap({.width = width, .height = height, .depth = 32}, count));
    for (const PngForm::Colours colours : {PngForm::Colours::kTrueColour, PngForm::Colours::kTrueColourAlpha}) {
      const int channels = colours == PngForm::Colours::kTrueColour ? 3 : 4;
      Bytes png;
      bool outOfMemory = false;
      WritePng({static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), colours},
               [&](std::uint32_t y, std::uint8_t* row) {
                 for (int i = 0; i < width * channels; ++i) row[i] = static_cast<std::uint8_t>((y * width * channels + i) * 37);
               },
               [&](std::span<const std::uint8_t> bytes) {
                 png.insert(png.end(), bytes.begin(), bytes.end());
                 return true;
               },
               &outOfMemory);
      add(pictures, png);
    }
  }
  return 0;
}
