#include "container.h"

#include <algorithm>

namespace {

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
  if (Error e = Skip(in, gif::kMarkerOffset)) return e;
  std::uint8_t marker = 0;
  if (Error e = ReadByte(in, &marker)) return e;
  if (marker == gif::kImageSeparator) {
    *form = CarrierForm::kImage;
    return Skip(in, gif::kImageDescriptorRest);
  }
  if (marker != gif::kExtensionIntroducer) return kNotCarrier;
  std::uint8_t label = 0;
  if (Error e = ReadByte(in, &label)) return e;
  if (label != gif::kCommentLabel) return kNotCarrier;
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
    if (size != gif::kFullSubBlock) return {};
  }
}

}  // namespace

Error ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form,
                     std::span<std::uint8_t> buffer) {
  Reader in{os, source, buffer};
  if (Error e = Probe(in, form)) return e;
  return CopyChain(in, sink);
}
