// The whole job on real files, as quillane-convert runs it: the reference
// output and no notice, or one notice and no output; never a staging file
// left, the source unchanged.

#include "../support.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TempDir dir;
  const fs::path source = dir / "in.gif", output = dir / "in.gif.bmp";
  const Bytes input(data, data + size);
  WriteFileBytes(source, input);
  const ModelResult expected = ReferenceConvert(input);

  NativePlatform os;
  std::vector<NativeString> notices;
  const Status status = DropFile(os, source.native(), &notices).error.status;
  Require(status == expected.status, "status");
  if (status == Status::kOk) {
    Require(notices.empty(), "no notice");
    Require(ReadFileBytes(output) == expected.bytes, "output");
    fs::remove(output);
  } else {
    Require(notices == std::vector{Notice(source, status)}, "one notice");
  }
  Require(dir.List() == std::vector<std::string>{"in.gif"}, "nothing but the source left");
  Require(ReadFileBytes(source) == input, "source unchanged");
  return 0;
}
