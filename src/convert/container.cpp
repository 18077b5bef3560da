#include "container.h"

#include <algorithm>

#include "bmp_header.h"
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

// What a file's first bytes, `head`, say of a GIF header: none; one that
// puts its first block at the marker, as a carrier's does (a global table of
// two entries, the smallest, ends right there); an ordinary GIF's, whose byte
// 19 means nothing to the probe; or one cut short.
enum class GifHeader { kNone, kCarrier, kOrdinary, kCut };
GifHeader ReadGifHeader(std::span<const std::uint8_t> head) {
  const auto starts = [&](const std::uint8_t(&signature)[6]) {
    return head.size() >= sizeof signature && std::equal(std::begin(signature), std::end(signature), head.begin());
  };
  if (!starts(gif::kSignature87) && !starts(gif::kSignature89)) return GifHeader::kNone;
  if (head.size() < gif::kHeaderEnd) return GifHeader::kCut;
  const std::uint8_t flags = head[gif::kScreenFlagsOffset];
  const bool twoEntries = (flags & gif::kGlobalTableFlag) && (flags & gif::kGlobalTableSize) == 0;
  return twoEntries ? GifHeader::kCarrier : GifHeader::kOrdinary;
}

// Leaves `in` at the first length byte of the chain; for a file that must
// be shaped like a carrier, its header tested first.
Error Probe(BufferedInput& in, CarrierForm* form, Shape shape) {
  // A file that ends before its marker is cut short only where its header says it is a carrier.
  Error atEnd = kNotCarrier;
  if (shape == Shape::kShaped) {
    const Result<bool> filled = in.FillTo(gif::kHeaderEnd);
    if (!filled.Ok()) return {Status::kIoError, Step::kReadSource, filled.error};
    switch (ReadGifHeader(in.Held())) {
      case GifHeader::kNone: break;
      case GifHeader::kCarrier: atEnd = kCutShort; break;
      case GifHeader::kOrdinary: return kNotCarrier;
      case GifHeader::kCut: return kCutShort;
    }
  }
  in.MoveTo(gif::kMarkerOffset);
  std::uint8_t marker = 0;
  if (Error e = ReadByte(in, &marker, atEnd)) return e;
  if (marker == gif::kImageSeparator) {
    *form = CarrierForm::kImage;
    in.MoveTo(gif::ChainStart(*form));
    return {};
  }
  if (marker != gif::kExtensionIntroducer) return kNotCarrier;
  std::uint8_t label = 0;
  if (Error e = ReadByte(in, &label, atEnd)) return e;
  if (label != gif::kCommentLabel) return kNotCarrier;
  *form = CarrierForm::kComment;
  return {};
}

// Whether the chain's data, which start where `in` stands after the first
// length byte `size`, begin as a BMP does; a chain of fewer bytes tells nothing.
Error BitmapInside(BufferedInput& in, std::uint8_t size) {
  if (size < sizeof bmp::kSignature) return {};
  const Result<bool> filled = in.FillTo(in.Offset() + sizeof bmp::kSignature);
  if (!filled.Ok()) return {Status::kIoError, Step::kReadSource, filled.error};
  const std::span<const std::uint8_t> held = in.Held();
  if (held.size() < sizeof bmp::kSignature) return kCutShort;
  return std::equal(std::begin(bmp::kSignature), std::end(bmp::kSignature), held.begin()) ? Error{} : kNotCarrier;
}

// A file that ends where a length byte should be is cut short, the first
// one included: only a length of 0 makes an empty chain.
Error CopyChain(BufferedInput& in, PayloadSink& out, Shape shape) {
  for (bool first = true;; first = false) {
    std::uint8_t size = 0;
    if (Error e = ReadByte(in, &size, kCutShort)) return e;
    if (first && shape == Shape::kShaped) {
      if (Error e = BitmapInside(in, size)) return e;
    }
    if (Error e = Copy(in, out, size)) return e;
    if (size != gif::kFullSubBlock) return {};
  }
}

}  // namespace

Error ExtractPayload(Platform& os, FileHandle source, PayloadSink& sink, CarrierForm* form,
                     std::span<std::uint8_t> buffer, Shape shape) {
  BufferedInput in(os, source, buffer);
  if (Error e = Probe(in, form, shape)) return e;
  return CopyChain(in, sink, shape);
}
