// Builders for test inputs: real 24-bit BMP files wrapped in carrier GIFs,
// and the bytes a conversion of them must produce.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "../src/convert/convert.h"

using Bytes = std::vector<std::uint8_t>;

// A 24-bit bottom-up BMP (positive height) with rows padded to 4 bytes and
// pixels drawn from `seed`. A negative height gives a top-down one.
Bytes MakeBitmap(std::int32_t width, std::int32_t height, std::uint32_t seed);

// A GIF-shaped file carrying `payload` in 255-byte sub-blocks closed by a
// shorter one, followed by a block terminator and the GIF trailer.
Bytes MakeCarrier(std::span<const std::uint8_t> payload, CarrierForm form);

// Sub-blocks exactly as given: each entry is written as its length byte and
// that many data bytes, starting at the form's chain start.
Bytes MakeRawCarrier(CarrierForm form, std::span<const Bytes> subBlocks);

// The converted file for `payload`, computed the plain way: a full copy of
// the payload from which each row is fetched in reverse order.
Bytes ExpectedOutput(std::span<const std::uint8_t> payload);

// Little-endian field writer for hand-made headers.
void PutInt32(Bytes& bytes, std::size_t offset, std::int32_t value);
