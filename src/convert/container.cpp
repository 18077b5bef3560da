#include "container.h"

#include <algorithm>

#include "file_io.h"

namespace {

// Not a carrier, or one that ends too soon.
const Error kNotCarrier{Status::kUnsupported, Step::kReadSource};
const Error kCutShort{Status::kCutShort, Step::kReadSource};

// Makes at least one unread byte available; `atEnd` when the file ends.
// Sub-blocks are tiny, so the source is read through a buffer rather than
// a system call per length byte.
Error Fill(BufferedInput& in, const Error& atEnd) {
  const Result<bool> more = in.Fill();
  if (!more.Ok()) return {Status::kIoError, Step::kReadSource, more.error};
  return more.value ? Error{} : atEnd;
}

Error ReadByte(BufferedInput& in, std::uint8_t* byte, const Error& atEnd) {
  if (Error e = Fill(in, atEnd)) return e;
  *byte = in.Held()[0];
  in.Advance(1);
  return {};
}

// Passes `count` bytes of the source on to the sink.
Error Copy(BufferedInput& in, PayloadSink& out, std::size_t count) {
  while (count > 0) {
    if (Error e = Fill(in, kCutShort)) return e;
    const std::span<const std::uint8_t> held = in.Held().first(std::min(count, in.Held().size()));
    if (Error e = out.Append(held)) return e;
    in.Advance(held.size());
    count -= held.size();
  }
  return {};
}

// Leaves `in` at the first length byte of the chain.
Error Probe(BufferedInput& in, CarrierForm* form) {
  in.MoveTo(gif::kMarkerOffset);
  std::uint8_t marker = 0;
  if (Error e = ReadByte(in, &marker, kNotCarrier)) return e;
  if (marker == gif::kImageSeparator) {
    *form = CarrierForm::kImage;
    in.MoveTo(gif::ChainStart(*form));
    return {};
  }
  if (marker != gif::kExtensionIntroducer) return kNotCarrier;
  std::uint8_t label = 0;
  if (Error e = ReadByte(in, &label, kNotCarrier)) return e;
  if (label != gif::kCommentLabel) return kNotCarrier;
  *form = CarrierForm::kComment;
  return {};
}

// A file that ends where a length byte should be is cut short, the first
// one included: only a length of 0 makes an empty chain.
Error CopyChain(BufferedInput& in, PayloadSink& out) {
  for (;;) {
    std::uint8_t size = 0;
    if (Error e = ReadByte(in, &size, kCutShort)) return e;
    if (Error e = Copy(in, out, size)) return e;
    if (size != gif::kFullSubBlock) return {};
  }
}

}  // namespace

Error ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form,
                     std::span<std::uint8_t> buffer) {
  BufferedInput in(os, source, buffer);
  if (Error e = Probe(in, form)) return e;
  return CopyChain(in, sink);
}
