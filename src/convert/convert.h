// Converting one carrier GIF into the BMP file it carries.
//
// A carrier GIF keeps the byte image of a whole BMP file in its first data
// sub-block chain. ConvertFile finds that chain and writes the payload, its
// pixel rows reversed, to a staging file "<path>.temp", which then takes the
// name "<path>.bmp". Failures reach the user as one notice each, and leave
// nothing behind but the untouched source and any earlier output.
#pragma once

#include <cstdint>
#include <span>

#include "platform.h"

enum class Status {
  kOk,
  kBadExtension,  // the name does not end in ".gif" or ".GIF"
  kUnsupported,   // not a carrier GIF, or one whose chain or bitmap is cut short
  kIoError,       // a file could not be opened, created, read, written or removed
  kOutOfMemory,
};

// Whether `name` ends in ".gif" or ".GIF", the only names converted. A name
// ending so has no separator or dot after that last extension.
bool HasCarrierExtension(const NativeString& name);

// The user-facing message for a failure; nullptr for kOk.
const NativeChar* MessageText(Status status);

// Takes the payload a piece at a time, in order, as the container reader
// finds it.
class PayloadSink {
 public:
  virtual ~PayloadSink() = default;
  // kIoError when the bytes could not be passed on.
  virtual Status Append(std::span<const std::uint8_t> bytes) = 0;
};

// Probes `source` for a carrier GIF and hands its payload, without the
// sub-blocks' length bytes, to `sink`. On kUnsupported nothing the source
// holds past the probe is trusted.
Status ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink);

// Reverses the order of the bitmap's 3-byte-per-pixel rows in place when its
// height is positive. kUnsupported when those rows would not fit in the
// payload or the width is negative; the payload is then untouched.
Status ReverseBitmapRows(std::span<std::uint8_t> payload);

// Shows "ファイル：<path>\n<message>" through the platform.
void ShowFileError(Platform& os, const NativeString& path, Status status);

// Converts `path` to `path` + ".bmp", showing a notice on failure.
Status ConvertFile(Platform& os, const NativeString& path);
