// The way back into the container: a carrier written again with another
// payload in its chain.
#pragma once

#include <cstdint>
#include <span>

#include "carrier_format.h"
#include "error.h"

// Writes to `out` the carrier `source` of `form` with `payload`, as long as
// the one it carries, in that one's place: the bytes before and after the
// chain as they are, the chain laid out as the reader reads it, through
// `buffer`. kUnsupported when the source, as long as its stamp says, is
// shorter than its chain.
Error WriteCarrier(Platform& os, const OpenedFile& source, FileHandle out, CarrierForm form,
                   std::span<const std::uint8_t> payload, std::span<std::uint8_t> buffer);
