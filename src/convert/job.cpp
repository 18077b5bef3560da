// The conversion of one file: the extension test, then the payload written
// with its rows reversed to the staging file, which takes the output's name
// once it is complete. The staging file is visible beside the source while a
// job runs and is gone when it ends; an earlier output is replaced only by a
// complete new one, in one step.

#include <new>

#include "bitmap_rows.h"
#include "convert.h"
#include "file_io.h"

namespace {

constexpr const NativeChar* kStagingSuffix = NATIVE_TEXT(".temp");
constexpr const NativeChar* kOutputSuffix = NATIVE_TEXT(".bmp");

// Payloads up to this size are written with one call, larger ones a block at
// a time, so memory stays small whatever the payload.
constexpr std::uint64_t kBlockSize = 256 * 1024;

// The test looks at the absolute path, so "x.gif/." passes and "x.gif/" does not.
bool AbsolutePathIsCarrier(Platform& os, const NativeString& path) {
  NativeString absolute;
  return os.AbsolutePath(path, &absolute) && HasCarrierExtension(absolute);
}

// Fills `staging` with the converted payload of `source`.
Status WriteStaging(Platform& os, FileHandle source, FileHandle staging) {
  // The payload is never longer than its source, which bounds where rows go.
  const std::int64_t size = os.FileSize(source);
  if (size < 0) return Status::kIoError;
  const auto buffer = AllocateBytes(kBlockSize);
  if (!buffer) return Status::kOutOfMemory;
  BitmapWriter writer(os, staging, {buffer.get(), kBlockSize}, static_cast<std::uint64_t>(size));
  const Status status = ExtractPayload(os, source, writer);
  return status == Status::kOk ? writer.Finish() : status;
}

Status RunJob(Platform& os, const NativeString& path) {
  if (!AbsolutePathIsCarrier(os, path)) return Status::kBadExtension;
  const NativeString staging = path + kStagingSuffix;
  const NativeString output = path + kOutputSuffix;

  // The source is opened and the staging file created before anything is
  // read, so a file of the staging name goes even when the source is no carrier.
  ScopedFile in(os, os.OpenForRead(path));
  ScopedFile out(os, os.CreateForWrite(staging));
  const bool created = static_cast<bool>(out);
  Status status = !in    ? Status::kUnsupported
                  : !out ? Status::kIoError
                         : WriteStaging(os, in.get(), out.get());
  const bool inClosed = in.Close();
  const bool outClosed = out.Close();
  if (status == Status::kOk && !(inClosed && outClosed)) status = Status::kIoError;
  if (status == Status::kOk && !os.Replace(staging, output)) status = Status::kIoError;
  if (status != Status::kOk && created) os.Delete(staging);
  return status;
}

}  // namespace

bool HasCarrierExtension(const NativeString& name) {
  return name.ends_with(NATIVE_TEXT(".gif")) || name.ends_with(NATIVE_TEXT(".GIF"));
}

Status ConvertFile(Platform& os, const NativeString& path) {
  Status status;
  // Only the names can run out of memory this way, and they are all made
  // before any file is touched.
  try {
    status = RunJob(os, path);
  } catch (const std::bad_alloc&) {
    status = Status::kOutOfMemory;
  }
  if (status != Status::kOk) ShowFileError(os, path, status);
  return status;
}
