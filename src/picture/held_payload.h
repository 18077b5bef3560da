// A payload held whole in memory as it arrives, for a writer that needs all
// of it. Room is taken once the header tells how much the payload holds, so
// memory follows the payload, not the length of the file it came in.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "../convert/container.h"

class HeldPayload final : public PayloadSink {
 public:
  // Starts again with a payload from a file of `bound` bytes, which bounds its length.
  void Start(std::uint64_t bound);
  Error Append(std::span<const std::uint8_t> bytes) override;
  std::span<std::uint8_t> Bytes() { return bytes_; }
  std::span<const std::uint8_t> Bytes() const { return bytes_; }
  // Lets the memory go.
  void Release() { std::vector<std::uint8_t>().swap(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint64_t bound_ = 0;
};
