// The carrier GIF container: a GIF-shaped file whose first data sub-block
// chain holds the byte image of a whole BMP file, the payload.
#pragma once

#include <cstdint>
#include <span>

#include "error.h"

enum class CarrierForm { kImage, kComment };

// Takes the payload a piece at a time, in order, as the container reader
// finds it.
class PayloadSink {
 public:
  virtual ~PayloadSink() = default;
  virtual Error Append(std::span<const std::uint8_t> bytes) = 0;
};

// Probes `source` for a carrier GIF and hands its payload, without the
// sub-blocks' length bytes, to `sink`, reading from the file's start through
// `buffer` whatever was read before; sets *form once the probe has passed.
// On kUnsupported nothing the source holds past the probe is trusted.
Error ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form,
                     std::span<std::uint8_t> buffer);

// Writes to `out` the carrier `source` of `form` with `payload`, as long as
// the one it carries, in that one's place: the bytes before and after the
// chain as they are, the chain laid out as the reader reads it, through
// `buffer`. kUnsupported when the source, as long as its stamp says, is
// shorter than its chain.
Error WriteCarrier(Platform& os, const OpenedFile& source, FileHandle out, CarrierForm form,
                   std::span<const std::uint8_t> payload, std::span<std::uint8_t> buffer);
