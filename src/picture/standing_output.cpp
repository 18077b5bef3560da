#include "standing_output.h"

#include <vector>

#include "png_writer.h"

bool HoldsConversion(Platform& os, Carrier& carrier, const NativeString& path, bool png, std::span<std::uint8_t> buffer,
                     std::span<std::uint8_t> scratch) {
  const std::span<std::uint8_t> payload = carrier.payload.Bytes();
  const ByteStream expected = [&](const ByteSink& take) {
    if (png) return !WriteBitmapPng(payload, carrier.rows, take);
    return StreamConverted(payload, carrier.rows, scratch, take);
  };
  bool same = false;
  return !MatchPicture(os, path, expected, &same, buffer) && same;
}

PatchResult CompareWithCarrier(Platform& os, const Carrier& carrier, const NativeString& picture,
                               std::span<std::uint8_t> buffer) {
  const std::span<const std::uint8_t> payload = carrier.payload.Bytes();
  std::vector<std::uint8_t> copy(payload.begin(), payload.end());
  return PatchPayload(os, copy, carrier.rows, picture, false, buffer);
}
