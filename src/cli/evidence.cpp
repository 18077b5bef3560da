#include "evidence.h"

#include <algorithm>

#include "../convert/file_io.h"

namespace {

// The longest headers and the largest palette after them.
constexpr std::size_t kHeadKept =
    bmp::kHeadersMax + (std::size_t{1} << BmpHeader::kMostIndexedDepth) * bmp::kPaletteEntry;

// The SHA-256 of the whole file `file`, read from its start through
// `buffer`; none when it cannot be read, or is not as it was when opened.
std::optional<Sha256Digest> HashFile(Platform& os, const OpenedFile& file, std::span<std::uint8_t> buffer) {
  Sha256 hash;
  std::uint64_t offset = 0;
  for (;;) {
    const Result<std::size_t> n = os.ReadAt(file.handle, offset, buffer.data(), buffer.size());
    if (!n.Ok()) return std::nullopt;
    if (n.value == 0) break;
    hash.Update(buffer.first(n.value));
    offset += n.value;
  }
  const Result<FileStamp> now = os.Stamp(file.handle);
  if (!now.Ok() || now.value != file.stamp || offset != file.stamp.size) return std::nullopt;
  return hash.Finish();
}

}  // namespace

Error WitnessWriter::Start(FileHandle file, const OpenedFile& source) {
  file_ = file;
  source_ = source;
  finished_ = false;
  payload_ = Sha256();
  head_.clear();
  if (!started_) {
    started_ = true;
    evidence_.carrierBytes = source.stamp.size;
    evidence_.carrier = HashFile(os_, source, buffer_);
  }
  return inner_.Start(file, source);
}

Error WitnessWriter::Append(std::span<const std::uint8_t> bytes) {
  payload_.Update(bytes);
  if (head_.size() < kHeadKept) {
    const std::size_t take = std::min(bytes.size(), kHeadKept - head_.size());
    head_.insert(head_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
  }
  return inner_.Append(bytes);
}

Ending WitnessWriter::Finish(CarrierForm form) {
  Ending ending = inner_.Finish(form);
  if (!ending.error && ending.needsSecondPass) return ending;
  finished_ = true;
  evidence_.payload = payload_.Finish();
  // A carrier that changed after it was hashed is not the one converted.
  const Result<FileStamp> now = os_.Stamp(source_.handle);
  if (!now.Ok() || now.value != source_.stamp) evidence_.carrier.reset();
  if (!ending.error && file_ != kNoFile) {
    if (const Result<FileId> id = IdentifyFile(staging_); id.Ok()) written_ = id.value;
  }
  return ending;
}

Evidence WitnessWriter::Take(const Outcome& outcome, const NativeString& output) {
  Evidence evidence = std::move(evidence_);
  // Read back by its name, the output is the one written only while that
  // name is still the staging file's.
  if (!outcome.error && written_) {
    const Result<OpenedFile> opened = os_.OpenForRead(output);
    if (opened.Ok()) {
      ScopedFile closing(os_, opened.value.handle);
      const Result<FileId> id = IdentifyFile(output);
      if (id.Ok() && id.value == *written_) {
        evidence.output = HashFile(os_, opened.value, buffer_);
        if (evidence.output) evidence.outputBytes = opened.value.stamp.size;
      }
    }
  }
  if (finished_) LookAt(outcome.bitmap, head_, &evidence);
  return evidence;
}

void LookAt(const BitmapInfo& bitmap, std::span<const std::uint8_t> head, Evidence* evidence) {
  BmpHeader header;
  PixelFormat format;
  if (bitmap.form != BitmapForm::kRows || ReadBmpHeader(head, &header) != BmpRead::kOk ||
      !format.Open(header, head.first(std::min<std::size_t>(head.size(), header.pixelOffset))))
    return;
  evidence->showsPicture = header.width > 0 && header.height > 0;
  if (format.Indexed()) evidence->palette = format.Palette();
}
