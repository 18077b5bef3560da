// Hostile pictures put back into carriers: the input is the user's picture
// file, read by the image library and packed by the carrier writer, on files
// in memory, taken as its length chooses (with --nearest, --palette and
// --resize or not). Whatever it holds, the carrier is replaced only by a
// packed one of its own length, but where RLE is encoded anew or a new size
// taken, and nothing is left open or behind.

#include "../../src/convert/file_io.h"
#include "../../src/picture/pack.h"
#include "../../src/picture/rle.h"
#include "../memory_platform.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A 24-bit bitmap, a palette one and one with alpha, the sizes of the seeds' pictures.
  static const Bytes argb = [] {
    Bytes bitmap = MakeStandardBitmap({.width = 6, .height = 4, .depth = 32, .compression = bmp::kBitfields,
                                       .infoSize = 124}, 3);
    const std::uint32_t masks[] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    for (std::size_t i = 0; i < 4; ++i) bmp::PutU32(bitmap, bmp::kMasks + 4 * i, masks[i]);
    return bitmap;
  }();
  // RLE8 of 7 x 3 indices, encoded here.
  static const Bytes rle = [] {
    Bytes head = MakeBitmapHeader({.width = 7, .height = 3, .depth = 8, .compression = bmp::kRle8}, 4);
    std::uint8_t indices[21];
    for (std::uint8_t i = 0; i < sizeof indices; ++i) indices[i] = i / 4;
    return *BmpWithPixels(head, *EncodeRle(indices, {7, 3, 8}), {});
  }();
  static const Bytes carriers[] = {
      MakeCarrier(MakeStandardBitmap({.width = 6, .height = 4, .packed = true}, 1), CarrierForm::kImage),
      MakeCarrier(MakeStandardBitmap({.width = 5, .height = 3, .depth = 8, .between = 1024}, 2), CarrierForm::kComment),
      MakeCarrier(argb, CarrierForm::kImage), MakeCarrier(rle, CarrierForm::kImage)};
  const Bytes& carrier = carriers[size % 4];
  const std::size_t choice = size / 4;
  MemoryPlatform os;
  os.files["x.gif"] = carrier;
  os.files["x.gif.png"] = Bytes(data, data + size);
  static Workspace workspace;
  Require(workspace.Ready(), "buffers");
  const PackOutcome outcome =
      PackCarrier(os, {.carrier = "x.gif", .output = "x.gif", .pictures = {"x.gif.png"}, .inPlace = true,
                       .take = {.nearest = (choice & 1) != 0, .palette = (choice & 2) != 0, .resize = (choice & 4) != 0,
                                .reserved = EntrySet(choice & 0xF0)}}, workspace);
  const Status status = outcome.error.status;
  Require(status == Status::kOk || status == Status::kRefused, "packed or refused");
  if (status == Status::kOk && !outcome.unchanged) {
    Require(os.files["x.gif"].size() == carrier.size() || outcome.patch.resized || &carrier == &carriers[3],
            "the carrier keeps its length but where its payload was made anew");
  } else {
    Require(os.files["x.gif"] == carrier, "the carrier as it was");
  }
  Require(!os.files.contains("x.gif.temp"), "no staging");
  Require(os.OpenCount() == 0, "every handle closed");
  return 0;
}
