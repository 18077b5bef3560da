// The container reader against the reference reader, with whole and with
// short reads: same status, same payload.

#include "../support.h"
#include "../faulty_platform.h"
#include "../memory_platform.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, data + size);
  const ModelResult expected = ReferenceExtract(input);
  for (const std::size_t transfer : {static_cast<std::size_t>(-1), 1 + size % 13}) {
    MemoryPlatform os;
    FaultyPlatform trickle(os);
    trickle.maxTransfer = transfer;
    os.files["in.gif"] = input;
    const FileHandle source = os.OpenForRead("in.gif").value.handle;
    BytesSink sink;
    CarrierForm form;
    Bytes buffer(kTransferSize);
    const Status status = ExtractPayload(trickle, source, sink, &form, buffer).status;
    Require(status == expected.status, "status");
    if (status == Status::kOk) Require(sink.bytes == expected.bytes, "payload");
    Require(os.files["in.gif"] == input, "source unchanged");
    Require(os.OpenCount() == 1, "the caller's handle stays open");
  }
  return 0;
}
