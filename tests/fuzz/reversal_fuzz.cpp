// The row reversal against the copying reference; a refused payload is left
// as it was.

#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, data + size);
  const Conversion expected = ReferenceReverse(input);
  Bytes payload = input;
  const Status status = ReverseBitmapRows(payload);
  Require(status == expected.status, "status");
  Require(payload == (status == Status::kOk ? expected.bytes : input), "bytes");
  return 0;
}
