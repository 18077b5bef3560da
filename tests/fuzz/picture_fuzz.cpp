// Hostile pictures put back into carriers: the input is the user's picture
// file, read by the image library and packed by the carrier writer, on files
// in memory. Whatever it holds, the carrier is replaced only by a packed one
// of its own length, and nothing is left open or behind.

#include "../../src/convert/file_io.h"
#include "../../src/picture/pack.h"
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
  static const Bytes carriers[] = {
      MakeCarrier(MakeStandardBitmap({.width = 6, .height = 4, .packed = true}, 1), CarrierForm::kImage),
      MakeCarrier(MakeStandardBitmap({.width = 5, .height = 3, .depth = 8, .between = 1024}, 2), CarrierForm::kComment),
      MakeCarrier(argb, CarrierForm::kImage)};
  const Bytes& carrier = carriers[size % 3];
  MemoryPlatform os;
  os.files["x.gif"] = carrier;
  os.files["x.gif.png"] = Bytes(data, data + size);
  static Workspace workspace;
  Require(workspace.Ready(), "buffers");
  const PackOutcome outcome =
      PackCarrier(os, {.carrier = "x.gif", .output = "x.gif", .pictures = {"x.gif.png"}, .inPlace = true}, workspace);
  const Status status = outcome.error.status;
  Require(status == Status::kOk || status == Status::kRefused, "packed or refused");
  if (status == Status::kOk && !outcome.unchanged) {
    Require(os.files["x.gif"].size() == carrier.size(), "the carrier keeps its length");
  } else {
    Require(os.files["x.gif"] == carrier, "the carrier as it was");
  }
  Require(!os.files.contains("x.gif.temp"), "no staging");
  Require(os.OpenCount() == 0, "every handle closed");
  return 0;
}
