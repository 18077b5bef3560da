// The way back into the container: a carrier written again with another
// payload in its chain.
#pragma once

#include <cstdint>
#include <span>

#include "carrier_format.h"
#include "error.h"
#include "platform.h"

// Writes to `out` the carrier `source` of `form`, whose chain carries
// `carried` bytes, with `payload` in that chain's place: the bytes before
// and after the chain as they are, the chain laid out as the reader reads
// it; reading through `reading`, writing through `writing`. kCutShort when
// the source, as long as its stamp says, is shorter than its chain.
Error WriteCarrier(Platform& os, const OpenedFile& source, CarrierForm form, std::uint64_t carried,
                   std::span<const std::uint8_t> payload, FileHandle out, std::span<std::uint8_t> reading,
                   std::span<std::uint8_t> writing);
