// The carrier GIF container read: the payload found and handed on.
#pragma once

#include <cstdint>
#include <span>

#include "carrier_format.h"
#include "error.h"
#include "platform.h"

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
