#include "pack.h"

#include <algorithm>
#include <new>

#include "../convert/carrier_writer.h"
#include "../convert/container.h"

Error ReadCarrier(Platform& os, const NativeString& path, Carrier* carrier, std::span<std::uint8_t> buffer) {
  const Result<OpenedFile> opened = os.OpenForRead(path);
  if (!opened.Ok()) return {Status::kUnsupported, Step::kOpenSource, opened.error};
  carrier->file.Reset(opened.value.handle);
  carrier->stamp = opened.value.stamp;
  carrier->payload.Start(carrier->stamp.size);
  if (Error e = ExtractPayload(os, opened.value.handle, carrier->payload, &carrier->form, buffer)) return e;
  const std::span<std::uint8_t> payload = carrier->payload.Bytes();
  const Status found = FindBitmapRows(payload, payload.size(), &carrier->rows);
  carrier->bitmap = DescribeBitmap(payload, payload.size(), carrier->rows);
  return found == Status::kOk ? Error{} : Error{Status::kUnsupported, Step::kReadSource};
}

bool StreamConverted(std::span<const std::uint8_t> payload, const BitmapRows& rows, std::span<std::uint8_t> scratch,
                     const ByteSink& take) {
  const std::uint64_t size = payload.size() + rows.Growth();
  for (std::uint64_t at = 0; at < size; at += scratch.size()) {
    const std::span<std::uint8_t> piece = scratch.first(static_cast<std::size_t>(std::min<std::uint64_t>(scratch.size(), size - at)));
    ConvertedBytes(payload, rows, at, piece);
    if (!take(piece)) return false;
  }
  return true;
}

PatchResult PatchPayload(Platform& os, std::span<std::uint8_t> payload, const BitmapRows& rows,
                         const NativeString& picture, bool nearest, std::span<std::uint8_t> buffer) {
  PatchResult result;
  BitmapPixels bitmap;
  if (!bitmap.Open(payload, rows)) {
    // Pixels that cannot be had come back only as the conversion wrote them.
    const std::size_t half = buffer.size() / 2;
    bool same = false;
    result.picture = MatchPicture(
        os, picture, [&](const ByteSink& take) { return StreamConverted(payload, rows, buffer.subspan(half), take); },
        &same, buffer.first(half));
    if (result.picture) result.refusal = Refusal::kPicture;
    else if (!same) result.refusal = Refusal::kNotStorable;
    return result;
  }
  PixelPatch patch(bitmap, nearest);
  const PictureTarget target{bitmap.Width(), bitmap.Height(), bitmap.Format().HasAlpha(),
                             bitmap.Header().namedAlpha != 0, rows.stride};
  result.picture = ReadPicture(os, picture, target, patch, buffer);
  result.changed = patch.Changed();
  result.mapped = patch.Mapped();
  result.largestDeltaE = patch.LargestDeltaE();
  result.farColourCount = patch.FarColourCount();
  result.farColours = patch.CommonFarColours(kColoursListed);
  if (result.picture) {
    result.refusal = Refusal::kPicture;
  } else if (patch.Transparent().count) {
    result.refusal = Refusal::kTransparent;
    result.pixels = patch.Transparent();
  } else if (patch.OffPalette().count) {
    result.refusal = Refusal::kOffPalette;
    result.pixels = patch.OffPalette();
    result.offColours = patch.CommonOffColours(kColoursListed);
  }
  return result;
}

Error WriteCarrierFile(Platform& os, Carrier& carrier, const NativeString& output, std::span<std::uint8_t> buffer,
                       const BackupNamer& backup, NativeString* kept) {
  StagedOutput out(os);
  if (Error e = out.Take(output + kStagingSuffix, output)) return e;
  // The payload came from the carrier as it was; its rest is copied now.
  const Result<FileStamp> stamp = os.Stamp(carrier.file.get());
  if (!stamp.Ok()) return {Status::kIoError, Step::kReadSource, stamp.error};
  if (stamp.value != carrier.stamp) return {Status::kRefused};
  if (const SystemError error = os.CopyPermissions(carrier.stamp, out.file()))
    return {Status::kIoError, Step::kWriteOutput, error};
  if (Error e = WriteCarrier(os, {carrier.file.get(), carrier.stamp}, out.file(), carrier.form, carrier.payload.Bytes(),
                             buffer))
    return e;
  if (const SystemError error = carrier.file.Close()) return {Status::kIoError, Step::kReadSource, error};
  return out.Commit(backup, kept);
}

namespace {

// Patches the carrier with whichever of two pictures holds the edit, and
// names it; with kTwoEdits when both do and their edits differ.
PatchResult PatchWithEdit(Platform& os, Carrier& carrier, const PackJob& job, std::span<std::uint8_t> buffer,
                          NativeString* taken) {
  const std::span<std::uint8_t> payload = carrier.payload.Bytes();
  std::vector<std::uint8_t> copies[2];
  PatchResult results[2];
  bool edited[2];
  for (int i = 0; i < 2; ++i) {
    copies[i].assign(payload.begin(), payload.end());
    results[i] = PatchPayload(os, copies[i], carrier.rows, job.pictures[i], job.nearest, buffer);
    edited[i] = !ShowsCarrier(results[i]);
  }
  // An edit made twice, as when one picture was saved in both forms, is one edit.
  const bool same = results[0].refusal == Refusal::kNone && results[1].refusal == Refusal::kNone &&
                    copies[0] == copies[1];
  const int chosen = edited[0] || !edited[1] ? 0 : 1;
  *taken = job.pictures[chosen];
  if (edited[0] && edited[1] && !same) {
    PatchResult refused;
    refused.refusal = Refusal::kTwoEdits;
    return refused;
  }
  std::copy(copies[chosen].begin(), copies[chosen].end(), payload.begin());
  return results[chosen];
}

PackOutcome PackSteps(Platform& os, const PackJob& job, const Workspace& workspace) {
  PackOutcome outcome;
  if ((outcome.error = TestCarrierName(os, job.carrier))) return outcome;
  Carrier carrier(os);
  outcome.error = ReadCarrier(os, job.carrier, &carrier, workspace.reading());
  outcome.form = carrier.form;
  outcome.bitmap = carrier.bitmap;
  if (outcome.error) return outcome;
  if (job.pictures.size() == 1) {
    outcome.picture = job.pictures[0];
    outcome.patch = PatchPayload(os, carrier.payload.Bytes(), carrier.rows, outcome.picture, job.nearest,
                                 workspace.reading());
  } else {
    outcome.patch = PatchWithEdit(os, carrier, job, workspace.reading(), &outcome.picture);
    if (outcome.patch.refusal == Refusal::kTwoEdits) outcome.other = job.pictures[1];
  }
  if (outcome.patch.refusal != Refusal::kNone) {
    outcome.error = {Status::kRefused};
    return outcome;
  }
  outcome.unchanged = outcome.patch.changed == 0;
  if (job.checkOnly || (outcome.unchanged && job.inPlace)) {
    if (const SystemError error = carrier.file.Close()) outcome.error = {Status::kIoError, Step::kReadSource, error};
    return outcome;
  }
  outcome.error = WriteCarrierFile(os, carrier, job.output, workspace.writing(), job.backup, &outcome.backup);
  if (outcome.error.status == Status::kRefused) outcome.patch.refusal = Refusal::kCarrierChanged;
  return outcome;
}

}  // namespace

PackOutcome Pack(Platform& os, const PackJob& job, const Workspace& workspace) {
  // Whatever runs out of memory, the files it took are let go on the way out.
  try {
    return PackSteps(os, job, workspace);
  } catch (const std::bad_alloc&) {
    PackOutcome outcome;
    outcome.error = {Status::kOutOfMemory};
    return outcome;
  }
}
