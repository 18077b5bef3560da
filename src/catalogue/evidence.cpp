#include "evidence.h"

#include <algorithm>

namespace {

// The SHA-256 of the whole file `file`, read from its start through
// `buffer`; none when it cannot be read, or is not as it was when opened.
std::optional<Sha256Digest> HashFile(Platform& os, const OpenedFile& file, std::span<std::uint8_t> buffer) {
  Sha256 hash;
  BufferedInput in(os, file.handle, buffer);
  for (;;) {
    const Result<bool> more = in.Fill();
    if (!more.Ok()) return std::nullopt;
    if (!more.value) break;
    hash.Update(in.Held());
    in.Advance(in.Held().size());
  }
  const Result<FileStamp> now = os.Stamp(file.handle);
  if (!now.Ok() || now.value != file.stamp || in.Offset() != file.stamp.size) return std::nullopt;
  return hash.Finish();
}

}  // namespace

void Witness::SeeCarrier(const CarrierFile& carrier) {
  evidence_.carrierBytes = carrier.opened().stamp.size;
  evidence_.carrier = HashFile(os_, carrier.opened(), buffer_);
}

void Witness::SeePayload(const CarrierFile& carrier) {
  Sha256 hash;
  hash.Update(carrier.payload());
  evidence_.payload = hash.Finish();
  // A carrier that changed after it was hashed is not the one converted.
  const Result<FileStamp> now = os_.Stamp(carrier.opened().handle);
  if (!now.Ok() || now.value != carrier.opened().stamp) evidence_.carrier.reset();
  BmpHeader header;
  PixelFormat format;
  const std::span<const std::uint8_t> head = carrier.payload();
  const BitmapForm form = carrier.rows().form;
  if (form == BitmapForm::kPlain || ReadBmpHeader(head, &header) != BmpRead::kOk ||
      !format.Open(header, head.first(std::min<std::size_t>(head.size(), header.pixelOffset))))
    return;
  // Runs of palette indices are a BMP that browsers draw, bottom-up only;
  // the other compressions hold a picture in a format of its own.
  const bool runs = (header.compression == bmp::kRle8 && header.depth == 8) ||
                    (header.compression == bmp::kRle4 && header.depth == 4);
  if (form == BitmapForm::kCompressed && !runs) return;
  // A negative height is a bitmap stored top-down, shown as any other.
  evidence_.showsPicture = header.width > 0 && header.height != 0;
  if (format.Indexed()) evidence_.palette = format.Palette();
}

void Witness::SeeStaged(const NativeString& staging) {
  if (const Result<FileId> id = IdentifyFile(staging); id.Ok()) written_ = id.value;
}

Evidence Witness::Conclude(const NativeString& written) {
  Evidence evidence = std::move(evidence_);
  // Read back by its name, the output is the one written only while that
  // name is still the staging file's.
  if (written.empty() || !written_) return evidence;
  const Result<OpenedFile> opened = os_.OpenForRead(written);
  if (!opened.Ok()) return evidence;
  ScopedFile closing(os_, opened.value.handle);
  const Result<FileId> id = IdentifyFile(written);
  if (id.Ok() && id.value == *written_) {
    evidence.output = HashFile(os_, opened.value, buffer_);
    if (evidence.output) evidence.outputBytes = opened.value.stamp.size;
  }
  return evidence;
}
