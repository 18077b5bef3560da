#include "pack_writer.h"

#include <memory>

#include "../convert/carrier_writer.h"

Error PackWriter::Start(FileHandle file, const OpenedFile& source) {
  file_ = file;
  source_ = source.handle;
  sourceStamp_ = source.stamp;
  payload_.Start(source.stamp.size);
  return {};
}

Error PackWriter::Append(std::span<const std::uint8_t> bytes) {
  payload_.Append(bytes);
  return {};
}

Ending PackWriter::Finish(CarrierForm form) {
  const std::span<std::uint8_t> payload = payload_.Bytes();
  BitmapRows rows;
  const Status found = FindBitmapRows(payload, payload.size(), &rows);
  Ending ending(found == Status::kOk ? Error{} : Error{Status::kUnsupported, Step::kReadSource});
  ending.bitmap = DescribeBitmap(payload, payload.size(), rows);
  if (ending.error) return ending;
  auto report = std::make_shared<PackReport>();
  ending.report = report;
  Patch(rows, report.get());
  if (report->why != PackReport::Why::kNone) {
    ending.error = {Status::kRefused};
    return ending;
  }
  ending.unchanged = inPlace_ && report->changed == 0;
  if (ending.unchanged || file_ == kNoFile) return ending;
  // The payload came from the carrier as it was; its rest is copied now.
  const Result<FileStamp> stamp = os_.Stamp(source_);
  if (!stamp.Ok()) {
    ending.error = {Status::kIoError, Step::kReadSource, stamp.error};
  } else if (stamp.value != sourceStamp_) {
    report->why = PackReport::Why::kCarrierChanged;
    ending.error = {Status::kRefused};
  } else if (const SystemError error = os_.CopyPermissions(sourceStamp_, file_)) {
    ending.error = {Status::kIoError, Step::kWriteOutput, error};
  } else {
    ending.error = WriteCarrier(os_, {source_, sourceStamp_}, file_, form, payload_.Bytes(), writing_);
  }
  return ending;
}

void PackWriter::Patch(const BitmapRows& rows, PackReport* report) {
  const std::span<std::uint8_t> payload = payload_.Bytes();
  BitmapPixels bitmap;
  if (!bitmap.Open(payload, rows)) {
    // Pixels that cannot be had come back only as the conversion wrote them.
    bool same = false;
    report->picture = MatchPicture(
        os_, picture_, payload.size() + rows.Growth(),
        [&](std::uint64_t offset, std::span<std::uint8_t> out) { ConvertedBytes(payload, rows, offset, out); },
        &same, reading_);
    if (report->picture) report->why = PackReport::Why::kPicture;
    else if (!same) report->why = PackReport::Why::kNotStorable;
    return;
  }
  PixelPatch patch(bitmap, nearest_);
  report->picture = ReadPicture(os_, picture_, bitmap.Width(), bitmap.Height(), patch, reading_);
  report->changed = patch.Changed();
  report->mapped = patch.Mapped();
  report->largestDeltaE = patch.LargestDeltaE();
  if (report->picture) {
    report->why = PackReport::Why::kPicture;
  } else if (patch.Transparent().count) {
    report->why = PackReport::Why::kTransparent;
    report->pixels = patch.Transparent();
  } else if (patch.OffPalette().count) {
    report->why = PackReport::Why::kOffPalette;
    report->pixels = patch.OffPalette();
    report->offColours = patch.CommonOffColours(kOffColoursListed);
  }
}
