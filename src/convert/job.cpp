// The conversion of one file: the extension test, then the payload written
// as a BMP reader expects it to the staging file, which takes the output's name
// once it is complete. The staging file is visible beside the source while a
// job runs and is gone when it ends; an earlier output is replaced only by a
// complete new one, in one step.

#include <new>

#include "bitmap_rows.h"
#include "convert.h"
#include "file_io.h"

namespace {

// Payloads up to this size are written with one call, larger ones a block at
// a time, so memory stays small whatever the payload.
constexpr std::uint64_t kBlockSize = 256 * 1024;

// The test looks at the absolute path, so "x.gif/." passes and "x.gif/" does not.
bool AbsolutePathIsCarrier(Platform& os, const NativeString& path) {
  NativeString absolute;
  return os.AbsolutePath(path, &absolute) && HasCarrierExtension(absolute);
}

Outcome Failed(Status status, Step step = Step::kNone, int error = 0) {
  Outcome outcome;
  outcome.status = status;
  outcome.step = step;
  outcome.error = error;
  return outcome;
}

// Pours the payload of `source` through `writer`. The system's reason for a
// failure is taken from the call that failed, before any other call.
Outcome Pour(Platform& os, FileHandle source, BitmapWriter& writer) {
  Outcome outcome;
  outcome.status = ExtractPayload(os, source, writer, &outcome.carrier.form);
  if (outcome.status == Status::kOk) outcome.status = writer.Finish();
  if (outcome.status != Status::kOk) {
    outcome.step = writer.Written() ? Step::kReadSource : Step::kWriteOutput;
    if (outcome.status == Status::kIoError) outcome.error = os.LastError();
  }
  writer.Describe(&outcome.carrier);
  return outcome;
}

// Fills `staging` (kNoFile for a check) with the converted payload of `source`.
Outcome WriteStaging(Platform& os, FileHandle source, FileHandle staging) {
  const auto buffer = AllocateBytes(kBlockSize);
  if (!buffer) return Failed(Status::kOutOfMemory);
  BitmapWriter writer(os, staging, {buffer.get(), kBlockSize}, source);
  Outcome outcome = Pour(os, source, writer);
  if (outcome.status != Status::kOk || !writer.Again()) return outcome;
  // Rows found packed only once the payload had ended: the second pass
  // writes every byte again, over all the first one wrote.
  BitmapWriter again(os, staging, {buffer.get(), kBlockSize}, source, writer.PayloadSize());
  outcome = Pour(os, source, again);
  if (outcome.status == Status::kOk && (again.Again() || again.OutputSize() < writer.WrittenEnd())) {
    outcome.status = Status::kUnsupported;  // the source changed in between
    outcome.step = Step::kReadSource;
  }
  return outcome;
}

Outcome Run(Platform& os, const Job& job) {
  if (!AbsolutePathIsCarrier(os, job.source)) return Failed(Status::kBadExtension);
  const NativeString staging = job.base + kStagingSuffix;
  const NativeString output = job.base + kOutputSuffix;
  Outcome outcome;
  const auto fail = [&](Status status, Step step) {
    outcome.status = status;
    outcome.step = step;
    outcome.error = os.LastError();
  };

  // The source is opened and the staging file created before anything is
  // read, so a file of the staging name goes even when the source is no carrier.
  ScopedFile in(os, os.OpenForRead(job.source));
  if (!in) fail(Status::kUnsupported, Step::kOpenSource);
  ScopedFile out(os, job.checkOnly ? kNoFile : os.CreateForWrite(staging));
  const bool created = static_cast<bool>(out);
  if (outcome.status == Status::kOk && !job.checkOnly && !created)
    fail(Status::kIoError, Step::kCreateOutput);
  if (outcome.status == Status::kOk) outcome = WriteStaging(os, in.get(), out.get());
  if (!in.Close() && outcome.status == Status::kOk) fail(Status::kIoError, Step::kReadSource);
  if (!out.Close() && outcome.status == Status::kOk) fail(Status::kIoError, Step::kWriteOutput);
  if (outcome.status == Status::kOk && created && !os.Replace(staging, output))
    fail(Status::kIoError, Step::kReplaceOutput);
  if (outcome.status != Status::kOk && created) os.Delete(staging);
  return outcome;
}

}  // namespace

bool HasCarrierExtension(const NativeString& name) {
  return name.ends_with(NATIVE_TEXT(".gif")) || name.ends_with(NATIVE_TEXT(".GIF"));
}

Outcome RunJob(Platform& os, const Job& job) {
  // Only the names can run out of memory this way, and they are all made
  // before any file is touched.
  try {
    return Run(os, job);
  } catch (const std::bad_alloc&) {
    return Failed(Status::kOutOfMemory);
  }
}

Outcome ConvertFile(Platform& os, const NativeString& path) {
  const Outcome outcome = RunJob(os, {path, path});
  if (outcome.status != Status::kOk) ShowFileError(os, path, outcome.status);
  return outcome;
}
