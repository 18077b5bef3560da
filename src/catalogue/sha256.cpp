#include "sha256.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr std::uint32_t kRounds[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::size_t kBlock = 64;
constexpr std::size_t kLengthField = 8;

std::uint32_t BigEndian(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace

void Sha256::Compress(const std::uint8_t* block) {
  std::uint32_t w[64];
  for (int t = 0; t < 16; ++t) w[t] = BigEndian(block + 4 * t);
  for (int t = 16; t < 64; ++t) {
    const std::uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
    const std::uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state_;
  for (int t = 0; t < 64; ++t) {
    const std::uint32_t t1 = h + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                             kRounds[t] + w[t];
    const std::uint32_t t2 = (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
  }
  const std::uint32_t next[8] = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) state_[i] += next[i];
}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  length_ += bytes.size();
  if (held_ > 0 && !bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), kBlock - held_);
    std::memcpy(block_.data() + held_, bytes.data(), take);
    held_ += take;
    bytes = bytes.subspan(take);
    if (held_ < kBlock) return;
    Compress(block_.data());
    held_ = 0;
  }
  for (; bytes.size() >= kBlock; bytes = bytes.subspan(kBlock)) Compress(bytes.data());
  if (!bytes.empty()) std::memcpy(block_.data(), bytes.data(), bytes.size());
  held_ = bytes.size();
}

Sha256Digest Sha256::Finish() {
  // A 1 bit, zeros up to 8 bytes before a block's end, and the length in bits.
  const std::uint64_t bits = length_ * 8;
  block_[held_++] = 0x80;
  if (held_ > kBlock - kLengthField) {
    std::memset(block_.data() + held_, 0, kBlock - held_);
    Compress(block_.data());
    held_ = 0;
  }
  std::memset(block_.data() + held_, 0, kBlock - kLengthField - held_);
  for (std::size_t i = 0; i < kLengthField; ++i) block_[kBlock - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Compress(block_.data());
  Sha256Digest digest;
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
  *this = Sha256();
  return digest;
}
