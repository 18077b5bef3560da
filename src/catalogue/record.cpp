#include "record.h"

#include "../cli/describe.h"

CatalogueRecord RecordOf(const Entry& entry, Verdict verdict, const NativeString& output, const NativeString& said,
                         const Evidence& evidence) {
  CatalogueRecord record;
  record.source = entry.source;
  record.evidence = evidence;
  record.verdict = verdict;
  record.output = output;
  if (verdict == Verdict::kFailed) record.reason = entry.problem;
  if (verdict == Verdict::kKept) record.reason = said;
  // What the payload showed of itself, once it came whole.
  if (!evidence.payload) return record;
  const BitmapInfo& bitmap = entry.outcome.bitmap;
  record.payloadBytes = bitmap.bytes;
  record.sized = bitmap.hasFields;
  record.width = bitmap.width;
  record.height = bitmap.height < 0 ? -std::int64_t{bitmap.height} : bitmap.height;
  record.depth = bitmap.header.depth;
  switch (bitmap.form) {
    case BitmapForm::kRows:
      record.form = bitmap.header.Indexed()                   ? "palette"
                    : bitmap.header.compression == bmp::kRgb ? "rgb"
                                                             : "bitfields";
      record.formWords = DepthText(bitmap);
      record.rows = bitmap.rowBytes == bitmap.writtenRowBytes ? "padded" : "packed";
      break;
    case BitmapForm::kCompressed: record.form = "compressed", record.formWords = BitmapTrouble(bitmap); break;
    case BitmapForm::kPlain: record.form = "no-header", record.formWords = BitmapTrouble(bitmap); break;
  }
  if (verdict != Verdict::kFailed && verdict != Verdict::kKept && !evidence.showsPicture)
    record.reason = BitmapTrouble(bitmap);
  return record;
}
