// The carrier GIF container.
//
// Byte 19 follows a GIF header with a two-entry colour table. There either an
// image descriptor (0x2C) starts, whose data chain begins at byte 30, or a
// comment extension (0x21 0xFE), whose chain begins at byte 21. The chain is
// read more strictly than GIF asks: only a full 255-byte sub-block is followed
// by another, so the first shorter one ends the payload, and nothing after it
// is read.

#include <algorithm>

#include "convert.h"
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
constexpr std::size_t kBufferSize = 256 * 1024;

struct Reader {
  Platform& os;
  FileHandle file;
  std::uint8_t* data;
  std::uint64_t offset = 0;  // of the next read
  std::size_t pos = 0;
  std::size_t end = 0;
};

// Makes at least one unread byte available; kUnsupported at the end of the file.
Status Fill(Reader& in) {
  if (in.pos < in.end) return Status::kOk;
  const std::int64_t n = in.os.ReadAt(in.file, in.offset, in.data, kBufferSize);
  if (n < 0) return Status::kIoError;
  if (n == 0) return Status::kUnsupported;
  in.offset += static_cast<std::uint64_t>(n);
  in.pos = 0;
  in.end = static_cast<std::size_t>(n);
  return Status::kOk;
}

Status ReadByte(Reader& in, std::uint8_t* byte) {
  if (Status s = Fill(in); s != Status::kOk) return s;
  *byte = in.data[in.pos++];
  return Status::kOk;
}

// Passes over up to `count` bytes; running into the end is no error, since
// the read that follows reports it.
Status Skip(Reader& in, std::size_t count) {
  while (count > 0) {
    if (Status s = Fill(in); s != Status::kOk) return s == Status::kUnsupported ? Status::kOk : s;
    const std::size_t take = std::min(count, in.end - in.pos);
    in.pos += take;
    count -= take;
  }
  return Status::kOk;
}

// Passes `count` bytes of the source on to the sink.
Status Copy(Reader& in, PayloadSink& out, std::size_t count) {
  while (count > 0) {
    if (Status s = Fill(in); s != Status::kOk) return s;
    const std::size_t take = std::min(count, in.end - in.pos);
    if (Status s = out.Append({in.data + in.pos, take}); s != Status::kOk) return s;
    in.pos += take;
    count -= take;
  }
  return Status::kOk;
}

// Leaves `in` at the first length byte of the chain. The bytes before the
// marker are read past rather than sought over: the first read fetches them
// anyway, and a seek would cost a system call per file.
Status Probe(Reader& in, CarrierForm* form) {
  if (Status s = Skip(in, kMarkerOffset); s != Status::kOk) return s;
  std::uint8_t marker = 0;
  if (Status s = ReadByte(in, &marker); s != Status::kOk) return s;
  if (marker == kImageSeparator) {
    *form = CarrierForm::kImage;
    return Skip(in, kImageDescriptorRest);
  }
  if (marker != kExtensionIntroducer) return Status::kUnsupported;
  std::uint8_t label = 0;
  if (Status s = ReadByte(in, &label); s != Status::kOk) return s;
  if (label != kCommentLabel) return Status::kUnsupported;
  *form = CarrierForm::kComment;
  return Status::kOk;
}

// A file that ends where a length byte should be is cut short, the first
// one included: only a length of 0 makes an empty chain.
Status CopyChain(Reader& in, PayloadSink& out) {
  for (;;) {
    std::uint8_t size = 0;
    if (Status s = ReadByte(in, &size); s != Status::kOk) return s;
    if (Status s = Copy(in, out, size); s != Status::kOk) return s;
    if (size != kFullSubBlock) return Status::kOk;
  }
}

}  // namespace

Status ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form) {
  const auto buffer = AllocateBytes(kBufferSize);
  if (!buffer) return Status::kOutOfMemory;
  Reader in{os, source, buffer.get()};
  if (Status s = Probe(in, form); s != Status::kOk) return s;
  return CopyChain(in, sink);
}
