// The conversion of one file: extension test, staging copy, row reversal and
// output. The staging file is visible beside the source while a job runs and
// is gone when it ends; the output exists only if every step succeeded.

#include <algorithm>
#include <new>
#include <span>

#include "bitmap_rows.h"
#include "convert.h"
#include "file_io.h"

namespace {

constexpr const NativeChar* kStagingSuffix = NATIVE_TEXT(".temp");
constexpr const NativeChar* kOutputSuffix = NATIVE_TEXT(".bmp");

// The test looks at the absolute path, so "x.gif/." passes and "x.gif/" does not.
bool AbsolutePathIsCarrier(Platform& os, const NativeString& path) {
  NativeString absolute;
  return os.AbsolutePath(path, &absolute) && HasCarrierExtension(absolute);
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

// Payloads up to this size are read back whole; larger ones a block at a
// time, so memory stays small and the reads land in cache rather than in
// freshly faulted pages.
constexpr std::uint64_t kBlockSize = 256 * 1024;

// Reads the whole payload from `in`, reverses its rows and writes `output`.
Status ConvertInMemory(Platform& os, ScopedFile& in, const NativeString& output,
                       std::uint64_t length) {
  const auto payload = AllocateBytes(length);
  if (!payload) return Status::kOutOfMemory;
  if (ReadFull(os, in.get(), payload.get(), length) != static_cast<std::int64_t>(length) ||
      !in.Close())
    return Status::kIoError;

  const std::span<std::uint8_t> bitmap(payload.get(), length);
  if (Status s = ReverseBitmapRows(bitmap); s != Status::kOk) return s;
  return WriteBitmap(os, output, bitmap);
}

// Appends `size` bytes from `offset` in `in` to `out`.
bool CopyRange(Platform& os, FileHandle in, FileHandle out, std::span<std::uint8_t> buffer,
               std::uint64_t offset, std::uint64_t size) {
  if (size == 0) return true;
  if (!os.Seek(in, offset)) return false;
  while (size > 0) {
    const std::uint64_t take = std::min<std::uint64_t>(size, buffer.size());
    if (ReadFull(os, in, buffer.data(), take) != static_cast<std::int64_t>(take) ||
        !WriteAll(os, out, buffer.data(), take))
      return false;
    size -= take;
  }
  return true;
}

// Appends the rows to `out` bottom row first, as many whole rows a read as
// `buffer` holds; it holds at least one.
bool CopyRowsReversed(Platform& os, FileHandle in, FileHandle out, std::span<std::uint8_t> buffer,
                      const BitmapRows& rows) {
  for (std::uint64_t left = rows.count; left > 0;) {
    const std::uint64_t count = std::min(left, buffer.size() / rows.bytes);
    left -= count;
    const std::uint64_t size = count * rows.bytes;
    if (!os.Seek(in, rows.offset + left * rows.bytes) ||
        ReadFull(os, in, buffer.data(), size) != static_cast<std::int64_t>(size))
      return false;
    ReverseRows(buffer.data(), rows.bytes, count);
    if (!WriteAll(os, out, buffer.data(), size)) return false;
  }
  return true;
}

// Writes `output` from `in` with the rows in reverse order, holding one block
// or one row of the payload at a time, whichever is larger.
Status ConvertStreamed(Platform& os, ScopedFile& in, const NativeString& output,
                       std::uint64_t length) {
  std::uint8_t head[kBitmapFieldsEnd];
  if (ReadFull(os, in.get(), head, sizeof head) != static_cast<std::int64_t>(sizeof head))
    return Status::kIoError;
  BitmapRows rows;
  // A failed close outranks the refusal, as when the payload is read whole.
  if (Status s = FindBitmapRows(head, length, &rows); s != Status::kOk)
    return in.Close() ? s : Status::kIoError;

  const std::uint64_t bufferSize = std::max(kBlockSize, rows.bytes);
  const auto buffer = AllocateBytes(bufferSize);
  if (!buffer) return Status::kOutOfMemory;
  const std::span<std::uint8_t> block(buffer.get(), bufferSize);
  const std::uint64_t rowsEnd = rows.offset + rows.count * rows.bytes;

  ScopedFile out(os, os.CreateForWrite(output));
  if (!out) return Status::kIoError;
  const bool copied = CopyRange(os, in.get(), out.get(), block, 0, rows.offset) &&
                      CopyRowsReversed(os, in.get(), out.get(), block, rows) &&
                      CopyRange(os, in.get(), out.get(), block, rowsEnd, length - rowsEnd);
  const bool closed = in.Close();
  if (out.Close() && copied && closed) return Status::kOk;
  os.Delete(output);
  return Status::kIoError;
}

// Converts the `length`-byte payload held in `staging` to `output`.
Status ConvertStaged(Platform& os, const NativeString& staging, const NativeString& output,
                     std::uint64_t length) {
  ScopedFile in(os, os.OpenForRead(staging));
  if (!in) return Status::kIoError;
  return length <= kBlockSize ? ConvertInMemory(os, in, output, length)
                              : ConvertStreamed(os, in, output, length);
}

Status RunJob(Platform& os, const NativeString& path) {
  if (!AbsolutePathIsCarrier(os, path)) return Status::kBadExtension;
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
