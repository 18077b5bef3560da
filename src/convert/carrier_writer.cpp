#include "carrier_writer.h"

#include <algorithm>

#include "file_io.h"

namespace {

// A source cut while it is copied is no longer the carrier it was.
const Error kNotCarrier{Status::kUnsupported, Step::kReadSource};

Error WriteFailed(const SystemError& error) { return {Status::kIoError, Step::kWriteOutput, error}; }

// Copies `size` bytes of `source` from `at` on, read straight into the output's buffer.
Error CopyFrom(Platform& os, FileHandle source, std::uint64_t at, std::uint64_t size, BufferedOutput& out) {
  while (size > 0) {
    const Result<std::span<std::uint8_t>> room = out.Room(size);
    if (!room.Ok()) return WriteFailed(room.error);
    const Result<std::size_t> n = os.ReadAt(source, at, room.value.data(), room.value.size());
    if (!n.Ok()) return {Status::kIoError, Step::kReadSource, n.error};
    if (n.value == 0) return kNotCarrier;
    out.Take(n.value);
    at += n.value;
    size -= n.value;
  }
  return {};
}

}  // namespace

Error WriteCarrier(Platform& os, const OpenedFile& source, FileHandle out, CarrierForm form,
                   std::span<const std::uint8_t> payload, std::span<std::uint8_t> buffer) {
  BufferedOutput output(os, out, buffer);
  const std::uint64_t chainStart = gif::ChainStart(form);
  // Every sub-block but the last is full, so the payload's length tells the
  // chain's: a length byte for each 255 bytes, and one for the rest.
  const std::uint64_t chainEnd = chainStart + payload.size() + payload.size() / gif::kFullSubBlock + 1;
  const std::uint64_t size = source.stamp.size;
  if (size < chainEnd) return kNotCarrier;
  if (Error e = CopyFrom(os, source.handle, 0, chainStart, output)) return e;
  for (std::size_t at = 0;; at += gif::kFullSubBlock) {
    const std::size_t length = std::min<std::size_t>(gif::kFullSubBlock, payload.size() - at);
    const std::uint8_t lengthByte = static_cast<std::uint8_t>(length);
    if (const SystemError error = output.Put({&lengthByte, 1})) return WriteFailed(error);
    if (const SystemError error = output.Put(payload.subspan(at, length))) return WriteFailed(error);
    if (length < gif::kFullSubBlock) break;
  }
  if (Error e = CopyFrom(os, source.handle, chainEnd, size - chainEnd, output)) return e;
  const SystemError error = output.Flush();
  return error ? WriteFailed(error) : Error{};
}
