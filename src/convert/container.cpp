// The carrier GIF container.
//
// Byte 19 follows a GIF header with a two-entry colour table. There either an
// image descriptor (0x2C) starts, whose data chain begins at byte 30, or a
// comment extension (0x21 0xFE), whose chain begins at byte 21. The chain is
// read more strictly than GIF asks: only a full 255-byte sub-block is followed
// by another, so the first shorter one ends the payload, and nothing after it
// is read.

#include "container.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "file_io.h"

namespace {

constexpr std::size_t kMarkerOffset = 19;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr std::size_t kImageDescriptorRest = 10;  // bytes 20-29: descriptor and LZW code size
constexpr std::uint8_t kFullSubBlock = 255;

// Sub-blocks are tiny, so the source is read through a buffer of our own
// rather than a system call per length byte.
struct Reader {
  Platform& os;
  FileHandle file;
  std::span<std::uint8_t> data;
  std::uint64_t offset = 0;  // of the next read
  std::size_t pos = 0;
  std::size_t end = 0;
};

// Not a carrier, or one that ends too soon.
const Error kNotCarrier{Status::kUnsupported, Step::kReadSource};

// Makes at least one unread byte available; kNotCarrier at the end of the file.
Error Fill(Reader& in) {
  if (in.pos < in.end) return {};
  const Result<std::size_t> n = in.os.ReadAt(in.file, in.offset, in.data.data(), in.data.size());
  if (!n.Ok()) return {Status::kIoError, Step::kReadSource, n.error};
  if (n.value == 0) return kNotCarrier;
  in.offset += n.value;
  in.pos = 0;
  in.end = n.value;
  return {};
}

Error ReadByte(Reader& in, std::uint8_t* byte) {
  if (Error e = Fill(in)) return e;
  *byte = in.data[in.pos++];
  return {};
}

// Passes over up to `count` bytes; running into the end is no error, since
// the read that follows reports it.
Error Skip(Reader& in, std::size_t count) {
  while (count > 0) {
    if (Error e = Fill(in)) return e.status == Status::kUnsupported ? Error{} : e;
    const std::size_t take = std::min(count, in.end - in.pos);
    in.pos += take;
    count -= take;
  }
  return {};
}

// Passes `count` bytes of the source on to the sink.
Error Copy(Reader& in, PayloadSink& out, std::size_t count) {
  while (count > 0) {
    if (Error e = Fill(in)) return e;
    const std::size_t take = std::min(count, in.end - in.pos);
    if (Error e = out.Append(in.data.subspan(in.pos, take))) return e;
    in.pos += take;
    count -= take;
  }
  return {};
}

// Leaves `in` at the first length byte of the chain. The bytes before the
// marker are read past rather than sought over: the first read fetches them
// anyway, and a seek would cost a system call per file.
Error Probe(Reader& in, CarrierForm* form) {
  if (Error e = Skip(in, kMarkerOffset)) return e;
  std::uint8_t marker = 0;
  if (Error e = ReadByte(in, &marker)) return e;
  if (marker == kImageSeparator) {
    *form = CarrierForm::kImage;
    return Skip(in, kImageDescriptorRest);
  }
  if (marker != kExtensionIntroducer) return kNotCarrier;
  std::uint8_t label = 0;
  if (Error e = ReadByte(in, &label)) return e;
  if (label != kCommentLabel) return kNotCarrier;
  *form = CarrierForm::kComment;
  return {};
}

// A file that ends where a length byte should be is cut short, the first
// one included: only a length of 0 makes an empty chain.
Error CopyChain(Reader& in, PayloadSink& out) {
  for (;;) {
    std::uint8_t size = 0;
    if (Error e = ReadByte(in, &size)) return e;
    if (Error e = Copy(in, out, size)) return e;
    if (size != kFullSubBlock) return {};
  }
}

// Where the chain's first length byte lies in a carrier of `form`.
std::uint64_t ChainStart(CarrierForm form) {
  return kMarkerOffset + 1 + (form == CarrierForm::kImage ? kImageDescriptorRest : sizeof kCommentLabel);
}

// A carrier written from the start, gathered in a buffer so that a small one
// takes one call.
struct Writer {
  Platform& os;
  FileHandle file;
  std::span<std::uint8_t> data;
  std::uint64_t offset = 0;  // of the buffer's first byte in the file
  std::size_t held = 0;

  Error Flush() {
    const SystemError error = WriteAllAt(os, file, offset, data.data(), held);
    offset += std::exchange(held, 0);
    return error ? Error{Status::kIoError, Step::kWriteOutput, error} : Error{};
  }

  Error Put(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
      if (held == data.size()) {
        if (Error e = Flush()) return e;
      }
      const std::size_t take = std::min(bytes.size(), data.size() - held);
      std::memcpy(data.data() + held, bytes.data(), take);
      held += take;
      bytes = bytes.subspan(take);
    }
    return {};
  }

  // Copies `size` bytes of `source` from `at` on, read straight into the buffer.
  Error CopyFrom(FileHandle source, std::uint64_t at, std::uint64_t size) {
    while (size > 0) {
      if (held == data.size()) {
        if (Error e = Flush()) return e;
      }
      const std::size_t ask = static_cast<std::size_t>(std::min<std::uint64_t>(size, data.size() - held));
      const Result<std::size_t> n = os.ReadAt(source, at, data.data() + held, ask);
      if (!n.Ok()) return {Status::kIoError, Step::kReadSource, n.error};
      // A source cut while it is copied is no longer the carrier it was.
      if (n.value == 0) return kNotCarrier;
      held += n.value;
      at += n.value;
      size -= n.value;
    }
    return {};
  }
};

}  // namespace

Error ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form,
                     std::span<std::uint8_t> buffer) {
  Reader in{os, source, buffer};
  if (Error e = Probe(in, form)) return e;
  return CopyChain(in, sink);
}

Error WriteCarrier(Platform& os, const OpenedFile& source, FileHandle out, CarrierForm form,
                   std::span<const std::uint8_t> payload, std::span<std::uint8_t> buffer) {
  Writer writer{os, out, buffer};
  const std::uint64_t chainStart = ChainStart(form);
  // Every sub-block but the last is full, so the payload's length tells the
  // chain's: a length byte for each 255 bytes, and one for the rest.
  const std::uint64_t chainEnd = chainStart + payload.size() + payload.size() / kFullSubBlock + 1;
  const std::uint64_t size = source.stamp.size;
  if (size < chainEnd) return kNotCarrier;
  if (Error e = writer.CopyFrom(source.handle, 0, chainStart)) return e;
  for (std::size_t at = 0;; at += kFullSubBlock) {
    const std::size_t length = std::min<std::size_t>(kFullSubBlock, payload.size() - at);
    const std::uint8_t lengthByte = static_cast<std::uint8_t>(length);
    if (Error e = writer.Put({&lengthByte, 1})) return e;
    if (Error e = writer.Put(payload.subspan(at, length))) return e;
    if (length < kFullSubBlock) break;
  }
  if (Error e = writer.CopyFrom(source.handle, chainEnd, size - chainEnd)) return e;
  return writer.Flush();
}
