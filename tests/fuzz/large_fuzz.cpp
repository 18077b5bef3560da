// Payloads past the kTransferSize bytes the job writes in one call, which it
// writes a block at a time instead: the input is the payload's head, filled out
// with a pattern to a length that grows with it, carried and converted in memory.

#include "../faulty_platform.h"
#include "../memory_platform.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes payload(kTransferSize + 1 + 61 * size);
  for (std::size_t i = 0; i < payload.size(); ++i)
    payload[i] = i < size ? data[i] : static_cast<std::uint8_t>(i * 31 + i / 251);
  const ModelResult expected = ReferenceConvertPayload(payload);
  MemoryPlatform os;
  FaultyPlatform trickle(os);
  if (size % 2) trickle.maxTransfer = 4093;
  os.files["in.gif"] = MakeCarrier(payload, size % 3 ? CarrierForm::kImage : CarrierForm::kComment);
  std::vector<NativeString> notices;
  const Status status = DropFile(trickle, "in.gif", &notices).error.status;
  Require(status == expected.status, "status");
  Require(notices.size() == (status == Status::kOk ? 0u : 1u), "one notice on failure");
  if (status == Status::kOk) Require(os.files["in.gif.bmp"] == expected.bytes, "output");
  Require(!os.files.contains("in.gif.bmp") || status == Status::kOk, "no output on failure");
  Require(!os.files.contains("in.gif.temp"), "no staging");
  Require(os.OpenCount() == 0, "every handle closed");
  return 0;
}
