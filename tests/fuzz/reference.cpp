#include "reference.h"

#include <cstdio>
#include <cstdlib>

namespace {

// The little-endian signed 32-bit field at `offset`.
std::int64_t Int32At(std::span<const std::uint8_t> bytes, std::size_t offset) {
  const std::uint32_t value = bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
                              std::uint32_t{bytes[offset + 3]} << 24;
  return static_cast<std::int32_t>(value);
}

}  // namespace

Conversion ReferenceExtract(std::span<const std::uint8_t> file) {
  const Conversion unsupported{Status::kUnsupported, {}};
  if (file.size() < 20) return unsupported;
  std::size_t pos;
  if (file[19] == 0x2C) {
    pos = 30;
  } else if (file[19] == 0x21 && file.size() > 20 && file[20] == 0xFE) {
    pos = 21;
  } else {
    return unsupported;
  }
  Conversion out{Status::kOk, {}};
  if (pos >= file.size()) return out;
  for (;;) {
    if (pos >= file.size()) return unsupported;
    const std::size_t size = file[pos++];
    if (file.size() - pos < size) return unsupported;
    out.bytes.insert(out.bytes.end(), file.begin() + pos, file.begin() + pos + size);
    pos += size;
    if (size < 255) return out;
  }
}

Conversion ReferenceReverse(std::span<const std::uint8_t> payload) {
  const Conversion unchanged{Status::kOk, Bytes(payload.begin(), payload.end())};
  if (payload.size() < 26) return unchanged;
  const std::int64_t width = Int32At(payload, 18), height = Int32At(payload, 22);
  if (height <= 0 || width == 0) return unchanged;
  if (width < 0) return {Status::kUnsupported, {}};
  // 3 x (2^31 - 1)^2 still fits 64 bits.
  const std::uint64_t pixelBytes = 3 * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (payload.size() < 54 || payload.size() - 54 < pixelBytes) return {Status::kUnsupported, {}};
  return {Status::kOk, ExpectedOutput(payload)};
}

Conversion ReferenceConvert(std::span<const std::uint8_t> file) {
  const Conversion extracted = ReferenceExtract(file);
  return extracted.status == Status::kOk ? ReferenceReverse(extracted.bytes) : extracted;
}

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}
