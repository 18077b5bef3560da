#include "pack.h"

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

PatchResult PatchCarrier(Platform& os, Carrier& carrier, const NativeString& picture, bool nearest,
                         std::span<std::uint8_t> buffer) {
  PatchResult result;
  const std::span<std::uint8_t> payload = carrier.payload.Bytes();
  const BitmapRows& rows = carrier.rows;
  BitmapPixels bitmap;
  if (!bitmap.Open(payload, rows)) {
    // Pixels that cannot be had come back only as the conversion wrote them.
    bool same = false;
    result.picture = MatchPicture(
        os, picture, payload.size() + rows.Growth(),
        [&](std::uint64_t offset, std::span<std::uint8_t> out) { ConvertedBytes(payload, rows, offset, out); },
        &same, buffer);
    if (result.picture) result.refusal = Refusal::kPicture;
    else if (!same) result.refusal = Refusal::kNotStorable;
    return result;
  }
  PixelPatch patch(bitmap, nearest);
  const PictureTarget target{bitmap.Width(), bitmap.Height(), bitmap.Format().HasAlpha(),
                             carrier.bitmap.header.namedAlpha != 0, rows.stride};
  result.picture = ReadPicture(os, picture, target, patch, buffer);
  result.changed = patch.Changed();
  result.mapped = patch.Mapped();
  result.largestDeltaE = patch.LargestDeltaE();
  if (result.picture) {
    result.refusal = Refusal::kPicture;
  } else if (patch.Transparent().count) {
    result.refusal = Refusal::kTransparent;
    result.pixels = patch.Transparent();
  } else if (patch.OffPalette().count) {
    result.refusal = Refusal::kOffPalette;
    result.pixels = patch.OffPalette();
    result.offColours = patch.CommonOffColours(kOffColoursListed);
  }
  return result;
}

Error WriteCarrierFile(Platform& os, Carrier& carrier, const NativeString& output, std::span<std::uint8_t> buffer) {
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
  return out.Commit();
}

namespace {

PackOutcome PackSteps(Platform& os, const PackJob& job, const Workspace& workspace) {
  PackOutcome outcome;
  if ((outcome.error = TestCarrierName(os, job.carrier))) return outcome;
  Carrier carrier(os);
  outcome.error = ReadCarrier(os, job.carrier, &carrier, workspace.reading());
  outcome.form = carrier.form;
  outcome.bitmap = carrier.bitmap;
  if (outcome.error) return outcome;
  outcome.patch = PatchCarrier(os, carrier, job.picture, job.nearest, workspace.reading());
  if (outcome.patch.refusal != Refusal::kNone) {
    outcome.error = {Status::kRefused};
    return outcome;
  }
  outcome.unchanged = outcome.patch.changed == 0;
  if (job.checkOnly || (outcome.unchanged && job.inPlace)) {
    if (const SystemError error = carrier.file.Close()) outcome.error = {Status::kIoError, Step::kReadSource, error};
    return outcome;
  }
  outcome.error = WriteCarrierFile(os, carrier, job.output, workspace.writing());
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
