// The conversion of one file: the name test, then the payload poured into a
// writer that makes the output in a staging file, which takes the output's
// name once it is complete. The staging file is visible beside the output
// while a job runs and is gone when it ends; an earlier output is replaced
// only by a complete new one, in one step.

#include <new>

#include "job.h"

#include "file_io.h"

namespace {

// Pours the payload of `source` through `writer`, twice when it asks.
Ending Pour(Platform& os, const OpenedFile& source, FileHandle file, OutputWriter& writer, std::span<std::uint8_t> buffer,
            CarrierForm* form) {
  Ending ending;
  do {
    if (Error e = writer.Start(file, source)) return e;
    if (Error e = ExtractPayload(os, source.handle, writer, form, buffer)) return e;
    ending = writer.Finish(*form);
  } while (!ending.error && ending.needsSecondPass);
  return ending;
}

Outcome Run(Platform& os, const Job& job, OutputWriter& writer, std::span<std::uint8_t> buffer) {
  Outcome outcome;
  Error& error = outcome.error;
  if ((error = TestCarrierName(os, job.source))) return outcome;
  const Result<OpenedFile> opened = os.OpenForRead(job.source);
  if (!opened.Ok()) {
    error = {Status::kUnsupported, Step::kOpenSource, opened.error};
    return outcome;
  }
  ScopedFile in(os, opened.value.handle);
  StagedOutput out(os);
  if (!job.checkOnly) error = out.Take(job.base + kStagingSuffix, job.base + job.suffix);
  if (!error) {
    const Ending ending = Pour(os, opened.value, out.file(), writer, buffer, &outcome.form);
    error = ending.error;
    outcome.bitmap = ending.bitmap;
  }
  if (const SystemError closed = in.Close(); closed && !error) error = {Status::kIoError, Step::kReadSource, closed};
  if (!error && !job.checkOnly) error = out.Commit();
  return outcome;
}

}  // namespace

bool HasCarrierExtension(const NativeString& name) {
  return name.ends_with(NATIVE_TEXT(".gif")) || name.ends_with(NATIVE_TEXT(".GIF"));
}

Error TestCarrierName(Platform& os, const NativeString& path) {
  const Result<NativeString> absolute = os.AbsolutePath(path);
  if (!absolute.Ok()) return {Status::kUnsupported, Step::kOpenSource, absolute.error};
  return HasCarrierExtension(absolute.value) ? Error{} : Error{Status::kBadExtension};
}

Outcome RunJob(Platform& os, const Job& job, OutputWriter& writer, std::span<std::uint8_t> buffer) {
  // Whatever runs out of memory, the files it took are let go on the way out.
  try {
    return Run(os, job, writer, buffer);
  } catch (const std::bad_alloc&) {
    return {{Status::kOutOfMemory}};
  }
}
