#include "file_io.h"

#include <algorithm>
#include <limits>
#include <new>

namespace {

// One call moves at most this much, which every system's write accepts.
constexpr std::uint64_t kMaxTransfer = std::uint64_t{1} << 30;

}  // namespace

std::unique_ptr<std::uint8_t[]> AllocateBytes(std::uint64_t size) {
  if (size > std::numeric_limits<std::size_t>::max() / 2) return nullptr;
  return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
}

bool WriteAllAt(Platform& os, FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                std::uint64_t size) {
  while (size > 0) {
    const std::int64_t n = os.WriteAt(file, offset, data, std::min(size, kMaxTransfer));
    if (n <= 0) return false;
    data += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::uint64_t>(n);
  }
  return true;
}
