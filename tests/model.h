// The formats as the tests see them, worked out apart from the product code:
// builders for BMP files and the carrier GIFs that hold them, and what a
// conversion must make of them, computed the plain way.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "../src/convert/bmp_header.h"
#include "../src/convert/job.h"

using Bytes = std::vector<std::uint8_t>;

// A standard bitmap's header, for building one.
struct BitmapShape {
  std::int32_t width = 1;
  std::int32_t height = 1;
  std::uint16_t depth = 24;
  std::uint32_t compression = bmp::kRgb;
  std::uint32_t infoSize = 40;
  bool packed = false;       // rows of just the bytes their pixels take, else padded to 4
  bool statedSizes = true;   // bfSize and biSizeImage tell the sizes, else they are 0
  std::uint32_t between = 0;  // bytes between the headers and the pixels
};

// The headers of a bitmap of `shape`, up to its first pixel, with the bytes
// between them and the pixels drawn from `seed`.
Bytes MakeBitmapHeader(const BitmapShape& shape, std::uint32_t seed);

// A bitmap of `shape` whose other bytes are drawn from `seed`.
Bytes MakeStandardBitmap(const BitmapShape& shape, std::uint32_t seed);

// A 24-bit bottom-up BMP (positive height) with rows padded to 4 bytes and
// pixels drawn from `seed`. A negative height gives a top-down one.
Bytes MakeBitmap(std::int32_t width, std::int32_t height, std::uint32_t seed);

// The standard bottom-up bitmap `bmp`, rows padded to 4 bytes, stored
// top-down under a negative height, as a standard top-down one is.
Bytes TopDown(std::span<const std::uint8_t> bmp);

// The standard bitmap `bmp` with its rows packed to the bytes their pixels
// take, as a game's tools may store them, its sizes stated so or 0.
Bytes PackRows(std::span<const std::uint8_t> bmp, bool statedSizes);

// A GIF-shaped file carrying `payload` in 255-byte sub-blocks closed by a
// shorter one, followed by a block terminator and the GIF trailer.
Bytes MakeCarrier(std::span<const std::uint8_t> payload, CarrierForm form);

// Sub-blocks exactly as given: each entry is written as its length byte and
// that many data bytes, starting at the form's chain start.
Bytes MakeRawCarrier(CarrierForm form, std::span<const Bytes> subBlocks);

// Little-endian field writer for hand-made headers.
void PutInt32(Bytes& bytes, std::size_t offset, std::int32_t value);

struct ModelResult {
  Status status;
  Bytes bytes;  // the payload after extraction, the output after conversion
};

// The carrier's payload, or kUnsupported.
ModelResult ReferenceExtract(std::span<const std::uint8_t> file);

// The converted payload, each row fetched from a copy of it, or kUnsupported.
ModelResult ReferenceConvertPayload(std::span<const std::uint8_t> payload);

// ReferenceConvertPayload of ReferenceExtract.
ModelResult ReferenceConvert(std::span<const std::uint8_t> file);

// The converted file for a payload that converts.
Bytes ExpectedOutput(std::span<const std::uint8_t> payload);
