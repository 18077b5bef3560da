#include "file_io.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// One call moves at most this much, which every system's write accepts.
constexpr std::uint64_t kMaxTransfer = std::uint64_t{1} << 30;

// Numbered backup names tried, one after another, before the taking is a failure.
constexpr int kBackupAttempts = 100;

}  // namespace

Buffer AllocateBytes(std::uint64_t size) {
  if (size > std::numeric_limits<std::size_t>::max() / 2) return nullptr;
  return Buffer(new (std::align_val_t{kBufferAlignment}, std::nothrow) std::uint8_t[size]);
}

bool Workspace::Ready() {
  for (Buffer* buffer : {&reading_, &writing_, &gathering_}) {
    if (!*buffer) *buffer = AllocateBytes(kTransferSize);
    if (!*buffer) return false;
  }
  return true;
}

Result<bool> BufferedInput::Refill() {
  const Result<std::size_t> n = os_.ReadAt(file_, offset_, buffer_.data(), buffer_.size());
  if (!n.Ok()) return {false, n.error};
  offset_ += n.value;
  pos_ = 0;
  end_ = n.value;
  return {n.value > 0};
}

Result<bool> BufferedInput::FillTo(std::uint64_t end) {
  const std::size_t kept = end_ - pos_;
  std::memmove(buffer_.data(), buffer_.data() + pos_, kept);
  pos_ = 0;
  end_ = kept;
  while (end_ < buffer_.size() && offset_ < end) {
    // As much as the buffer holds: what lies past `end` is read next anyway.
    const Result<std::size_t> n = os_.ReadAt(file_, offset_, buffer_.data() + end_, buffer_.size() - end_);
    if (!n.Ok()) return {false, n.error};
    if (n.value == 0) return {false};
    offset_ += n.value;
    end_ += n.value;
  }
  return {true};
}

void BufferedInput::MoveTo(std::uint64_t offset) {
  // Still in the buffer, or read again.
  if (offset >= offset_ - end_ && offset <= offset_) {
    pos_ = static_cast<std::size_t>(offset - (offset_ - end_));
  } else {
    offset_ = offset;
    pos_ = end_ = 0;
  }
}

SystemError FileTarget::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const Result<std::size_t> n = os_.WriteAt(file_, offset, bytes.data(), std::min<std::uint64_t>(bytes.size(), kMaxTransfer));
    if (!n.Ok()) return n.error;
    // A system that takes nothing and gives no reason would never get further.
    if (n.value == 0) return SystemError::System(0);
    bytes = bytes.subspan(n.value);
    offset += n.value;
  }
  return {};
}

SystemError MatchTarget::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  written_ += bytes.size();
  differs_ = differs_ || offset > file_.stamp.size || bytes.size() > file_.stamp.size - offset;
  BufferedInput in(os_, file_.handle, buffer_, offset);
  while (!differs_ && !bytes.empty()) {
    const Result<bool> more = in.Fill();
    if (!more.Ok()) {
      readError_ = more.error;
      break;
    }
    const std::span<const std::uint8_t> held = in.Held();
    const std::size_t size = std::min(held.size(), bytes.size());
    // A file cut while it is read is no longer the one that stood.
    differs_ = !more.value || std::memcmp(held.data(), bytes.data(), size) != 0;
    in.Advance(size);
    bytes = bytes.subspan(size);
  }
  return differs_ ? SystemError{SystemError::Kind::kDiffers} : readError_;
}

Result<bool> MatchTarget::Same() const {
  if (readError_) return {false, readError_};
  if (differs_ || written_ != file_.stamp.size) return {false};
  const Result<FileStamp> now = os_.Stamp(file_.handle);
  if (!now.Ok()) return {false, now.error};
  return {now.value == file_.stamp};
}

SystemError BufferedOutput::Put(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const Result<std::span<std::uint8_t>> room = Room(bytes.size());
    if (!room.Ok()) return room.error;
    std::memcpy(room.value.data(), bytes.data(), room.value.size());
    Filled(room.value.size());
    bytes = bytes.subspan(room.value.size());
  }
  return {};
}

SystemError BufferedOutput::PutZeros(std::uint64_t size) {
  while (size > 0) {
    const Result<std::span<std::uint8_t>> room = Room(size);
    if (!room.Ok()) return room.error;
    std::memset(room.value.data(), 0, room.value.size());
    Filled(room.value.size());
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
  return size == 0 ? SystemError{} : target_.WriteAt(at, buffer_.first(size));
}

BackupName NextNumbered(const BackupName& name) {
  // NAME.~N~: the digits between the last ".~" and the closing "~".
  const std::size_t start = name.path.rfind(NATIVE_TEXT(".~")) + 2;
  NativeString digits = name.path.substr(start, name.path.size() - 1 - start);
  std::size_t at = digits.size();
  while (at > 0 && digits[at - 1] == '9') digits[--at] = '0';
  if (at == 0) digits.insert(digits.begin(), '1');
  else ++digits[at - 1];
  return {name.path.substr(0, start) + digits + NATIVE_TEXT("~"), true};
}

StagedOutput::~StagedOutput() {
  if (staging_.file != kNoFile) os_.Close(staging_.file);
  if (staging_.hold != kNoFile) os_.Delete(staging_.hold, stagingName_);
}

Error StagedOutput::Create(const NativeString& staging, const NativeString& output) {
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

Error StagedOutput::Commit(const BackupName& backup, NativeString* kept) {
  if (const SystemError error = os_.Close(std::exchange(staging_.file, kNoFile)))
    return {Status::kIoError, Step::kWriteOutput, error};
  if (!backup.path.empty()) {
    BackupName name = backup;
    Result<bool> made = os_.KeepBackup(outputName_, name.path, name.path + kStagingSuffix, !name.numbered);
    // A numbered name another program took meanwhile is passed over, as GNU's tools pass it.
    for (int attempt = 1; attempt < kBackupAttempts && made.error.kind == SystemError::Kind::kTaken; ++attempt) {
      name = NextNumbered(name);
      made = os_.KeepBackup(outputName_, name.path, name.path + kStagingSuffix, false);
    }
    if (!made.Ok()) return {Status::kIoError, Step::kKeepBackup, made.error};
    if (made.value && kept) *kept = name.path;
  }
  if (const SystemError error = os_.Replace(staging_.hold, stagingName_, outputName_))
    return {Status::kIoError, Step::kReplaceOutput, error};
  staging_.hold = kNoFile;
  return {};
}
