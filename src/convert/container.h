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

// How strictly a file is taken for a carrier. A file named is a carrier
// when the probe at byte 19 passes, whatever its first bytes. A file met in
// a folder must be shaped like one besides, so that a game folder's other
// GIFs are told apart: its own GIF header, if it has one, puts its first
// block at byte 19 (a global colour table of two entries), and its chain's
// data begin with the BMP signature, as every payload does.
enum class Shape { kProbed, kShaped };

// Probes `source` for a carrier GIF and hands its payload, without the
// sub-blocks' length bytes, to `sink`, reading from the file's start through
// `buffer`; sets *form once the probe has passed. kUnsupported for no
// carrier, kCutShort for one whose file ends too soon; on either, nothing
// the source holds past the probe is trusted.
Error ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form,
                     std::span<std::uint8_t> buffer, Shape shape = Shape::kProbed);
