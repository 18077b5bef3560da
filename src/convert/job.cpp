// The conversion of one file: extension test, staging copy, row reversal and
// output. The staging file is visible beside the source while a job runs and
// is gone when it ends; the output exists only if every step succeeded.

#include <span>

#include "convert.h"
#include "file_io.h"

namespace {

constexpr const NativeChar* kStagingSuffix = NATIVE_TEXT(".temp");
constexpr const NativeChar* kOutputSuffix = NATIVE_TEXT(".bmp");

// Accepts ".gif" and ".GIF" only, as the final name's last extension; a name
// that ends in either has no separator or dot after it.
bool HasCarrierExtension(Platform& os, const NativeString& path) {
  NativeString absolute;
  if (!os.AbsolutePath(path, &absolute)) return false;
  return absolute.ends_with(NATIVE_TEXT(".gif")) || absolute.ends_with(NATIVE_TEXT(".GIF"));
}

// The source is opened and the staging file created before anything is read,
// so a file of the staging name is replaced even when the source is no carrier.
Status CopyToStaging(Platform& os, const NativeString& path, const NativeString& staging,
                     std::uint64_t* length) {
  ScopedFile in(os, os.OpenForRead(path));
  ScopedFile out(os, os.CreateForWrite(staging));
  if (!in) return Status::kUnsupported;
  if (!out) return Status::kIoError;
  Status status = ExtractPayload(os, in.get(), out.get(), length);
  if (!in.Close() && status == Status::kOk) status = Status::kIoError;
  if (!out.Close() && status == Status::kOk) status = Status::kIoError;
  return status;
}

Status WriteBitmap(Platform& os, const NativeString& output, std::span<const std::uint8_t> bitmap) {
  ScopedFile out(os, os.CreateForWrite(output));
  if (!out) return Status::kIoError;
  const bool written = WriteAll(os, out.get(), bitmap.data(), bitmap.size());
  if (out.Close() && written) return Status::kOk;
  os.Delete(output);
  return Status::kIoError;
}

Status ConvertStaged(Platform& os, const NativeString& staging, const NativeString& output,
                     std::uint64_t length) {
  ScopedFile in(os, os.OpenForRead(staging));
  if (!in) return Status::kIoError;
  const auto payload = AllocateBytes(length);
  if (!payload) return Status::kOutOfMemory;
  if (ReadFull(os, in.get(), payload.get(), length) != static_cast<std::int64_t>(length) ||
      !in.Close())
    return Status::kIoError;

  const std::span<std::uint8_t> bitmap(payload.get(), length);
  if (Status s = ReverseBitmapRows(bitmap); s != Status::kOk) return s;
  return WriteBitmap(os, output, bitmap);
}

Status RunJob(Platform& os, const NativeString& path) {
  if (!HasCarrierExtension(os, path)) return Status::kBadExtension;
  const NativeString staging = path + kStagingSuffix;
  const NativeString output = path + kOutputSuffix;

  std::uint64_t length = 0;
  Status status = CopyToStaging(os, path, staging, &length);
  if (status == Status::kOk) status = ConvertStaged(os, staging, output, length);
  if (!os.Delete(staging) && status == Status::kOk) {
    os.Delete(output);
    status = Status::kIoError;
  }
  return status;
}

}  // namespace

Status ConvertFile(Platform& os, const NativeString& path) {
  const Status status = RunJob(os, path);
  if (status != Status::kOk) ShowFileError(os, path, status);
  return status;
}
