// An output made from a payload as it is poured in: one pass, or when the
// payload's end shows that the first was misled, two.
#pragma once

#include <cstdint>
#include <span>

#include "bitmap_rows.h"
#include "container.h"

class OutputTarget;

// What bounds a payload's size while it arrives: its exact size where it
// is held whole; else the size of the file it comes from, which may grow
// while it is read, as the file answers once the payload outgrows a buffer.
struct PayloadBound {
  FileHandle source = kNoFile;
  std::uint64_t size = 0;
};

// What a writer knows once the payload has ended.
struct Ending {
  Ending() = default;
  Ending(Error error) : error(error) {}  // a writer that failed

  Error error;
  bool needsSecondPass = false;  // the payload must be poured again
  BitmapInfo bitmap;             // what the payload showed of itself
};

class OutputWriter : public PayloadSink {
 public:
  // Starts a pass: the output goes to `target`, the payload within `bound`.
  virtual Error Start(OutputTarget& target, const PayloadBound& bound) = 0;
  // The payload has ended.
  virtual Ending Finish() = 0;
};

// Pours `payload`, held whole, through `writer` into `target`.
inline Ending PourPayload(std::span<const std::uint8_t> payload, OutputTarget& target, OutputWriter& writer) {
  if (Error e = writer.Start(target, {kNoFile, payload.size()})) return e;
  if (Error e = writer.Append(payload)) return e;
  return writer.Finish();
}
