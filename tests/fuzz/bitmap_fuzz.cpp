// The bitmap writer against the copying reference, the payload held in
// buffers of a size the input chooses and handed over in pieces it chooses
// too: the same status and bytes, the rows placed however they fall.

#include "../support.h"
#include "../memory_platform.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  Bytes buffer(bmp::kHeadersEnd + data[0] * 3);
  const std::size_t piece = 1 + data[1];
  const Bytes payload(data + 2, data + size);
  const ModelResult expected = ReferenceConvertPayload(payload);
  MemoryPlatform os;
  os.files["in"] = payload;  // a carrier is longer: no looser a bound
  const OpenedFile source = os.OpenForRead("in").value;
  FileTarget out(os, os.Create("out"));
  const Status status = PourPayload(os, out, buffer, source, payload, piece);
  Require(status == expected.status, "status");
  if (status == Status::kOk) Require(os.files["out"] == expected.bytes, "bytes");
  return 0;
}
