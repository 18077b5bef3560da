// The carrier GIF container: a GIF-shaped file whose first data sub-block
// chain holds the byte image of a whole BMP file, the payload.
//
// Byte 19 follows a GIF header with a two-entry colour table. There either an
// image descriptor (0x2C) starts, whose data chain begins at byte 30, or a
// comment extension (0x21 0xFE), whose chain begins at byte 21. The chain is
// read more strictly than GIF asks: only a full 255-byte sub-block is followed
// by another, so the first shorter one ends the payload, and nothing after it
// is read.
#pragma once

#include <cstddef>
#include <cstdint>

enum class CarrierForm { kImage, kComment };

namespace gif {

// A GIF's own header: its signature, and the logical screen descriptor's
// byte that says whether a global colour table follows and how large it is.
inline constexpr std::uint8_t kSignature87[6] = {'G', 'I', 'F', '8', '7', 'a'};
inline constexpr std::uint8_t kSignature89[6] = {'G', 'I', 'F', '8', '9', 'a'};
inline constexpr std::size_t kScreenFlagsOffset = 10;
inline constexpr std::size_t kHeaderEnd = 13;
inline constexpr std::uint8_t kGlobalTableFlag = 0x80, kGlobalTableSize = 0x07;

inline constexpr std::size_t kMarkerOffset = 19;
inline constexpr std::uint8_t kImageSeparator = 0x2C;
inline constexpr std::uint8_t kExtensionIntroducer = 0x21;
inline constexpr std::uint8_t kCommentLabel = 0xFE;
inline constexpr std::size_t kImageDescriptorRest = 10;  // bytes 20-29: descriptor and LZW code size
inline constexpr std::uint8_t kFullSubBlock = 255;

// Where the chain's first length byte lies in a carrier of `form`.
inline constexpr std::uint64_t ChainStart(CarrierForm form) {
  return kMarkerOffset + 1 + (form == CarrierForm::kImage ? kImageDescriptorRest : sizeof kCommentLabel);
}

}  // namespace gif
