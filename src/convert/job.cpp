// The conversion of one file: the name test, then the payload poured into a
// writer that makes the output in a staging file, which takes the output's
// name once it is complete. The staging file is visible beside the output
// while a job runs and is gone when it ends; an earlier output is replaced
// only by a complete new one, in one step.

#include "job.h"

#include <new>

#include "carrier.h"
#include "file_io.h"

bool HasCarrierExtension(const NativeString& name) {
  return name.ends_with(NATIVE_TEXT(".gif")) || name.ends_with(NATIVE_TEXT(".GIF"));
}

Error TestCarrierName(Platform& os, const NativeString& path) {
  const Result<NativeString> absolute = os.AbsolutePath(path);
  if (!absolute.Ok()) return {Status::kUnsupported, Step::kOpenSource, absolute.error};
  return HasCarrierExtension(absolute.value) ? Error{} : Error{Status::kBadExtension};
}

Error MakeOutput(Platform& os, const Job& job, const std::function<Error(OutputTarget& target)>& make,
                 const BackupName& backup, NativeString* kept) {
  if (job.checkOnly) {
    NoTarget nowhere;
    return make(nowhere);
  }
  StagedOutput out(os);
  if (Error e = out.Create(job.base + kStagingSuffix, job.base + job.suffix)) return e;
  FileTarget target(os, out.file());
  if (Error e = make(target)) return e;
  return out.Commit(backup, kept);
}

Outcome RunJob(Platform& os, const NativeString& source, const Job& job, OutputWriter& writer,
               std::span<std::uint8_t> buffer) {
  // Whatever runs out of memory, the files it took are let go on the way out.
  try {
    Outcome outcome;
    if ((outcome.error = TestCarrierName(os, source))) return outcome;
    CarrierFile carrier(os);
    if ((outcome.error = carrier.Open(source))) return outcome;
    outcome.error = MakeOutput(os, job, [&](OutputTarget& target) {
      const Ending ending = carrier.Pour(target, writer, buffer);
      outcome.bitmap = ending.bitmap;
      outcome.form = carrier.form();
      // The source is let go before the output takes its name.
      return ending.error ? ending.error : carrier.Close();
    });
    return outcome;
  } catch (const std::bad_alloc&) {
    return {{Status::kOutOfMemory}};
  }
}
