// SHA-256 as FIPS 180-4 defines it, the digest a catalogue proves files by.
// Our own: Debian has no SHA-256 library that links statically into the
// Windows programs, and the function is a page long.
#pragma once

#include <array>
#include <cstdint>
#include <span>

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  void Update(std::span<const std::uint8_t> bytes);
  // The digest of everything updated with; the hash starts again after it.
  Sha256Digest Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_ = kInitial;
  std::array<std::uint8_t, 64> block_{};
  std::size_t held_ = 0;
  std::uint64_t length_ = 0;  // in bytes

  static constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
};
