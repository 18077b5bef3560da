// The PNG format as both directions see it: the signature, where the header
// chunk's fields lie after it, and the colour types written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace png {

inline constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// IHDR comes first: its type, width and height, and where it ends, before its CRC.
inline constexpr std::size_t kIhdrType = 12, kIhdrWidth = 16, kIhdrHeight = 20, kIhdrEnd = 24;
inline constexpr std::size_t kIhdrSize = 13;
inline constexpr std::uint8_t kTypeTrueColour = 2, kTypeIndexed = 3, kTypeTrueColourAlpha = 6;

}  // namespace png
