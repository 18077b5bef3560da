// What a conversion must give, worked out apart from the product code: the
// container read straight off a byte array, and the rows fetched one by one.
#pragma once

#include "../../src/convert/convert.h"
#include "../fixture.h"

struct Conversion {
  Status status;
  Bytes bytes;  // the payload after extraction, the output after conversion
};

// The carrier's payload, or kUnsupported.
Conversion ReferenceExtract(std::span<const std::uint8_t> file);

// The payload with its rows reversed, or kUnsupported when they do not fit.
Conversion ReferenceReverse(std::span<const std::uint8_t> payload);

// ReferenceReverse of ReferenceExtract.
Conversion ReferenceConvert(std::span<const std::uint8_t> file);

// Aborts with `what` on stderr unless `holds`, so the fuzzer keeps the input.
void Require(bool holds, const char* what);
