// Reader and reversal together as the job composes them, on files in memory:
// the reference output and no notice, or one notice and no output; never a
// staging file or an open handle left.

#include "../faulty_platform.h"
#include "../memory_platform.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, data + size);
  const ModelResult expected = ReferenceConvert(input);
  MemoryPlatform os;
  FaultyPlatform trickle(os);
  // Odd sizes also trickle every read and write.
  if (size % 2) trickle.maxTransfer = 1 + size % 11;
  os.files["in.gif"] = input;
  std::vector<NativeString> notices;
  const Status status = DropFile(trickle, "in.gif", &notices).error.status;
  Require(status == expected.status, "status");
  if (status == Status::kOk) {
    Require(notices.empty(), "no notice");
    Require(os.files["in.gif.bmp"] == expected.bytes, "output");
  } else {
    Require(notices == std::vector<NativeString>{"ファイル：in.gif\n" + NativeString(MessageText(status))},
            "one notice");
    Require(!os.files.contains("in.gif.bmp"), "no output");
  }
  Require(!os.files.contains("in.gif.temp"), "no staging");
  Require(os.files["in.gif"] == input, "source unchanged");
  Require(os.OpenCount() == 0, "every handle closed");
  return 0;
}
