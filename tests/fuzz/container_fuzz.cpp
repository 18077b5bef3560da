// The container reader against the reference reader, with whole and with
// short reads and writes: same status, same payload, same length.

#include "memory_platform.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, data + size);
  const Conversion expected = ReferenceExtract(input);
  for (const std::size_t transfer : {static_cast<std::size_t>(-1), 1 + size % 13}) {
    MemoryPlatform os;
    os.maxTransfer = transfer;
    os.files["in.gif"] = input;
    const FileHandle source = os.OpenForRead("in.gif");
    const FileHandle staging = os.CreateForWrite("staging");
    std::uint64_t length = 1;
    const Status status = ExtractPayload(os, source, staging, &length);
    Require(status == expected.status, "status");
    if (status == Status::kOk) {
      Require(os.files["staging"] == expected.bytes, "payload");
      Require(length == expected.bytes.size(), "length");
    }
    Require(os.files["in.gif"] == input, "source unchanged");
    Require(os.OpenCount() == 2, "the caller's handles stay open");
  }
  return 0;
}
