// make-carrier: writes a carrier GIF of a generated 24-bit bitmap, and
// optionally the bitmap its conversion must produce.
//   make-carrier [--comment] [--width W] [--height H] [--seed S] OUT.gif [EXPECTED.bmp]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "support.h"

int main(int argc, char** argv) {
  CarrierForm form = CarrierForm::kImage;
  std::int32_t width = 64, height = 48;
  std::uint32_t seed = 1;
  const char* paths[2] = {nullptr, nullptr};
  int pathCount = 0;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--comment") == 0) {
      form = CarrierForm::kComment;
    } else if (std::strcmp(argv[i], "--width") == 0 && hasValue) {
      width = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--height") == 0 && hasValue) {
      height = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--seed") == 0 && hasValue) {
      seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (argv[i][0] != '-' && pathCount < 2) {
      paths[pathCount++] = argv[i];
    } else {
      pathCount = 0;
      break;
    }
  }
  if (pathCount == 0 || width < 0) {
    std::fputs("usage: make-carrier [--comment] [--width W] [--height H] [--seed S] OUT.gif [EXPECTED.bmp]\n", stderr);
    return 2;
  }
  try {
    const Bytes bmp = MakeBitmap(width, height, seed);
    WriteFileBytes(paths[0], MakeCarrier(bmp, form));
    if (paths[1]) WriteFileBytes(paths[1], ExpectedOutput(bmp));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-carrier: %s\n", e.what());
    return 1;
  }
  return 0;
}
