#include "file_io.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "job.h"

namespace {

// One call moves at most this much, which every system's write accepts.
constexpr std::uint64_t kMaxTransfer = std::uint64_t{1} << 30;

}  // namespace

bool Workspace::Ready() {
  for (Buffer* buffer : {&reading_, &writing_, &gathering_}) {
    if (!*buffer) *buffer = AllocateBytes(kTransferSize);
    if (!*buffer) return false;
  }
  return true;
}

StagedOutput::~StagedOutput() {
  if (staging_.file != kNoFile) os_.Close(staging_.file);
  if (staging_.hold != kNoFile) os_.Delete(staging_.hold, stagingName_);
}

Error StagedOutput::Take(const NativeString& staging, const NativeString& output) {
  // The names are made before any file is touched, the only step here that
  // can run out of memory.
  stagingName_ = staging;
  outputName_ = output;
  const Result<Staging> created = os_.CreateStaging(stagingName_);
  if (!created.Ok()) {
    const bool busy = created.error.kind == SystemError::Kind::kBusy;
    return {busy ? Status::kBusy : Status::kIoError, Step::kCreateOutput, created.error};
  }
  staging_ = created.value;
  return {};
}

Error StagedOutput::Commit(const BackupNamer& backup, NativeString* kept) {
  if (const SystemError error = os_.Close(std::exchange(staging_.file, kNoFile)))
    return {Status::kIoError, Step::kWriteOutput, error};
  if (backup) {
    const Result<BackupName> name = backup(outputName_);
    if (!name.Ok()) return {Status::kIoError, Step::kKeepBackup, name.error};
    const NativeString& path = name.value.path;
    const Result<bool> made = os_.KeepBackup(outputName_, path, path + kStagingSuffix, !name.value.numbered);
    if (!made.Ok()) return {Status::kIoError, Step::kKeepBackup, made.error};
    if (made.value && kept) *kept = path;
  }
  if (const SystemError error = os_.Replace(staging_.hold, stagingName_, outputName_))
    return {Status::kIoError, Step::kReplaceOutput, error};
  staging_.hold = kNoFile;
  return {};
}

SystemError BufferedOutput::Put(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const Result<std::span<std::uint8_t>> room = Room(bytes.size());
    if (!room.Ok()) return room.error;
    std::memcpy(room.value.data(), bytes.data(), room.value.size());
    Take(room.value.size());
    bytes = bytes.subspan(room.value.size());
  }
  return {};
}

SystemError BufferedOutput::PutZeros(std::uint64_t size) {
  while (size > 0) {
    const Result<std::span<std::uint8_t>> room = Room(size);
    if (!room.Ok()) return room.error;
    std::memset(room.value.data(), 0, room.value.size());
    Take(room.value.size());
    size -= room.value.size();
  }
  return {};
}

SystemError BufferedOutput::MoveTo(std::uint64_t offset) {
  if (offset == offset_ + held_) return {};
  const SystemError error = Flush();
  offset_ = offset;
  return error;
}

Result<std::span<std::uint8_t>> BufferedOutput::Room(std::uint64_t most) {
  if (held_ == buffer_.size()) {
    if (const SystemError error = Flush()) return {{}, error};
  }
  return {buffer_.subspan(held_, static_cast<std::size_t>(std::min<std::uint64_t>(most, buffer_.size() - held_)))};
}

SystemError BufferedOutput::Flush() {
  const std::size_t size = std::exchange(held_, 0);
  const std::uint64_t at = std::exchange(offset_, offset_ + size);
  return file_ == kNoFile ? SystemError{} : WriteAllAt(os_, file_, at, buffer_.data(), size);
}

Buffer AllocateBytes(std::uint64_t size) {
  if (size > std::numeric_limits<std::size_t>::max() / 2) return nullptr;
  return Buffer(new (std::align_val_t{kBufferAlignment}, std::nothrow) std::uint8_t[size]);
}

SystemError WriteAllAt(Platform& os, FileHandle file, std::uint64_t offset, const std::uint8_t* data,
                       std::uint64_t size) {
  while (size > 0) {
    const Result<std::size_t> n = os.WriteAt(file, offset, data, std::min(size, kMaxTransfer));
    if (!n.Ok()) return n.error;
    // A system that takes nothing and gives no reason would never get further.
    if (n.value == 0) return SystemError::System(0);
    data += n.value;
    offset += n.value;
    size -= n.value;
  }
  return {};
}
