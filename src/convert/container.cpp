// The carrier GIF container.
//
// Byte 19 follows a GIF header with a two-entry colour table. There either an
// image descriptor (0x2C) starts, whose data chain begins at byte 30, or a
// comment extension (0x21 0xFE), whose chain begins at byte 21. The chain is
// read more strictly than GIF asks: only a full 255-byte sub-block is followed
// by another, so the first shorter one ends the payload, and nothing after it
// is read.

#include <algorithm>
#include <cstring>

#include "convert.h"
#include "file_io.h"

namespace {

constexpr std::size_t kMarkerOffset = 19;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kCommentLabel = 0xFE;
constexpr std::size_t kImageDescriptorRest = 10;  // bytes 20-29: descriptor and LZW code size
constexpr std::uint8_t kFullSubBlock = 255;

// Sub-blocks are tiny, so the source and staging files go through buffers of
// our own rather than a system call per length byte.
constexpr std::size_t kBufferSize = 256 * 1024;

struct Reader {
  Platform& os;
  FileHandle file;
  std::uint8_t* data;
  std::size_t pos = 0;
  std::size_t end = 0;
};

struct Writer {
  Platform& os;
  FileHandle file;
  std::uint8_t* data;
  std::size_t used = 0;
};

// Makes at least one unread byte available; kUnsupported at the end of the file.
Status Fill(Reader& in) {
  if (in.pos < in.end) return Status::kOk;
  const std::int64_t n = in.os.Read(in.file, in.data, kBufferSize);
  if (n < 0) return Status::kIoError;
  if (n == 0) return Status::kUnsupported;
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

bool Flush(Writer& out) {
  const bool ok = WriteAll(out.os, out.file, out.data, out.used);
  out.used = 0;
  return ok;
}

// Moves `count` bytes from the source to the staging file.
Status Copy(Reader& in, Writer& out, std::size_t count) {
  while (count > 0) {
    if (Status s = Fill(in); s != Status::kOk) return s;
    if (out.used == kBufferSize && !Flush(out)) return Status::kIoError;
    const std::size_t take = std::min({count, in.end - in.pos, kBufferSize - out.used});
    std::memcpy(out.data + out.used, in.data + in.pos, take);
    in.pos += take;
    out.used += take;
    count -= take;
  }
  return Status::kOk;
}

// Leaves `in` at the first length byte of the chain. The bytes before the
// marker are read past rather than sought over: the first read fetches them
// anyway, and a seek would cost a system call per file.
Status Probe(Reader& in) {
  if (Status s = Skip(in, kMarkerOffset); s != Status::kOk) return s;
  std::uint8_t marker = 0;
  if (Status s = ReadByte(in, &marker); s != Status::kOk) return s;
  if (marker == kImageSeparator) return Skip(in, kImageDescriptorRest);
  if (marker != kExtensionIntroducer) return Status::kUnsupported;
  std::uint8_t label = 0;
  if (Status s = ReadByte(in, &label); s != Status::kOk) return s;
  return label == kCommentLabel ? Status::kOk : Status::kUnsupported;
}

Status CopyChain(Reader& in, Writer& out, std::uint64_t* length) {
  std::uint8_t size = 0;
  Status s = ReadByte(in, &size);
  if (s == Status::kUnsupported) return Status::kOk;  // a chain cut before it starts is empty
  for (; s == Status::kOk; s = ReadByte(in, &size)) {
    if (s = Copy(in, out, size); s != Status::kOk) return s;
    *length += size;
    if (size != kFullSubBlock) return Flush(out) ? Status::kOk : Status::kIoError;
  }
  return s;
}

}  // namespace

Status ExtractPayload(Platform& os, FileHandle source, FileHandle staging,
                      std::uint64_t* length) {
  *length = 0;
  const auto buffers = AllocateBytes(2 * kBufferSize);
  if (!buffers) return Status::kOutOfMemory;
  Reader in{os, source, buffers.get()};
  Writer out{os, staging, buffers.get() + kBufferSize};
  if (Status s = Probe(in); s != Status::kOk) return s;
  return CopyChain(in, out, length);
}
