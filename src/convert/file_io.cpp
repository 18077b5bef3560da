#include "file_io.h"

#include <algorithm>
#include <limits>
#include <new>

namespace {

// One call moves at most this much, which every system's read and write accept.
constexpr std::uint64_t kMaxTransfer = std::uint64_t{1} << 30;

}  // namespace

std::unique_ptr<std::uint8_t[]> AllocateBytes(std::uint64_t size) {
  if (size > std::numeric_limits<std::size_t>::max() / 2) return nullptr;
  return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[size]);
}

std::int64_t ReadFull(Platform& os, FileHandle file, std::uint8_t* buffer, std::uint64_t size) {
  std::uint64_t done = 0;
  while (done < size) {
    const std::int64_t n = os.Read(file, buffer + done, std::min(size - done, kMaxTransfer));
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::uint64_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

bool WriteAll(Platform& os, FileHandle file, const std::uint8_t* data, std::uint64_t size) {
  while (size > 0) {
    const std::int64_t n = os.Write(file, data, std::min(size, kMaxTransfer));
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::uint64_t>(n);
  }
  return true;
}
