#include "fixture.h"

#include <cstring>

namespace {

constexpr std::uint8_t kGifHeader[19] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0,
                                         0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF};
constexpr std::uint8_t kImageDescriptor[11] = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2};
constexpr std::uint8_t kCommentIntroducer[2] = {0x21, 0xFE};
constexpr std::uint8_t kTrailer[2] = {0x00, 0x3B};

Bytes CarrierHead(CarrierForm form) {
  Bytes out(std::begin(kGifHeader), std::end(kGifHeader));
  const std::span<const std::uint8_t> block =
      form == CarrierForm::kImage ? std::span<const std::uint8_t>(kImageDescriptor) : kCommentIntroducer;
  for (std::uint8_t byte : block) out.push_back(byte);
  return out;
}

std::int32_t GetInt32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + i];
  return static_cast<std::int32_t>(value);
}

}  // namespace

void PutInt32(Bytes& bytes, std::size_t offset, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

Bytes MakeBitmap(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
  const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
  const std::size_t imageSize = stride * rows;
  Bytes bmp(54 + imageSize);
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutInt32(bmp, 2, static_cast<std::int32_t>(bmp.size()));
  PutInt32(bmp, 10, 54);
  PutInt32(bmp, 14, 40);
  PutInt32(bmp, 18, width);
  PutInt32(bmp, 22, height);
  bmp[26] = 1;
  bmp[28] = 24;
  PutInt32(bmp, 34, static_cast<std::int32_t>(imageSize));
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t i = 54; i < bmp.size(); ++i) {
    state = state * 1103515245u + 12345u;
    bmp[i] = static_cast<std::uint8_t>(state >> 16);
  }
  return bmp;
}

Bytes MakeRawCarrier(CarrierForm form, std::span<const Bytes> subBlocks) {
  Bytes out = CarrierHead(form);
  for (const Bytes& block : subBlocks) {
    out.push_back(static_cast<std::uint8_t>(block.size()));
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

Bytes MakeCarrier(std::span<const std::uint8_t> payload, CarrierForm form) {
  Bytes out = CarrierHead(form);
  std::size_t pos = 0;
  for (;;) {
    const std::size_t size = std::min<std::size_t>(255, payload.size() - pos);
    out.push_back(static_cast<std::uint8_t>(size));
    out.insert(out.end(), payload.begin() + pos, payload.begin() + pos + size);
    pos += size;
    if (size < 255) break;
  }
  out.insert(out.end(), std::begin(kTrailer), std::end(kTrailer));
  return out;
}

Bytes ExpectedOutput(std::span<const std::uint8_t> payload) {
  Bytes out(payload.begin(), payload.end());
  if (payload.size() < 26) return out;
  const std::int64_t width = GetInt32(payload, 18);
  const std::int64_t height = GetInt32(payload, 22);
  if (height <= 0) return out;
  const std::int64_t rowBytes = 3 * width;
  for (std::int64_t r = 0; r < height; ++r)
    std::memcpy(&out[54 + r * rowBytes], &payload[54 + (height - 1 - r) * rowBytes], rowBytes);
  return out;
}
