#include "carrier_writer.h"

#include <algorithm>

#include "file_io.h"

namespace {

// A source cut while it is copied is no longer the carrier it was.
const Error kCutShort{Status::kCutShort, Step::kReadSource};

Error WriteFailed(const SystemError& error) { return {Status::kIoError, Step::kWriteOutput, error}; }

// Every sub-block but the last is full, so a payload's length tells its
// chain's: a length byte for each 255 bytes, and one for the rest.
std::uint64_t ChainSize(std::uint64_t payload) { return payload + payload / gif::kFullSubBlock + 1; }

// Copies `size` bytes of the source from where `in` stands.
Error Copy(BufferedInput& in, std::uint64_t size, BufferedOutput& out) {
  while (size > 0) {
    const Result<bool> more = in.Fill();
    if (!more.Ok()) return {Status::kIoError, Step::kReadSource, more.error};
    if (!more.value) return kCutShort;
    const std::span<const std::uint8_t> held = in.Held().first(std::min<std::uint64_t>(size, in.Held().size()));
    if (const SystemError error = out.Put(held)) return WriteFailed(error);
    in.Advance(held.size());
    size -= held.size();
  }
  return {};
}

}  // namespace

Error WriteCarrier(Platform& os, const OpenedFile& source, CarrierForm form, std::uint64_t carried,
                   std::span<const std::uint8_t> payload, FileHandle out, std::span<std::uint8_t> reading,
                   std::span<std::uint8_t> writing) {
  FileTarget target(os, out);
  BufferedOutput output(target, writing);
  const std::uint64_t chainStart = gif::ChainStart(form), chainEnd = chainStart + ChainSize(carried);
  const std::uint64_t size = source.stamp.size;
  if (size < chainEnd) return kCutShort;
  BufferedInput in(os, source.handle, reading);
  if (Error e = Copy(in, chainStart, output)) return e;
  for (std::size_t at = 0;; at += gif::kFullSubBlock) {
    const std::size_t length = std::min<std::size_t>(gif::kFullSubBlock, payload.size() - at);
    const std::uint8_t lengthByte = static_cast<std::uint8_t>(length);
    if (const SystemError error = output.Put({&lengthByte, 1})) return WriteFailed(error);
    if (const SystemError error = output.Put(payload.subspan(at, length))) return WriteFailed(error);
    if (length < gif::kFullSubBlock) break;
  }
  in.MoveTo(chainEnd);
  if (Error e = Copy(in, size - chainEnd, output)) return e;
  const SystemError error = output.Flush();
  return error ? WriteFailed(error) : Error{};
}
