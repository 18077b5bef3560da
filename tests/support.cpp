#include "support.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>

TempDir::TempDir(const fs::path& parent) {
  std::random_device random;
  for (;;) {
    path_ = parent / ("quillane-test-" + std::to_string(random()));
    if (fs::create_directory(path_)) return;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::List() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

Bytes ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  Bytes bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    throw std::runtime_error("cannot read " + path.string());
  return bytes;
}

void WriteFileBytes(const fs::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

bool TestPlatform::Fails(Op op) {
  const int i = static_cast<int>(op);
  if (calls_[i]++ != failAt_[i]) return false;
  Fail(kInjectedError);
  return true;
}

FileHandle TestPlatform::OpenForRead(const NativeString& path) {
  return Fails(Op::kOpenForRead) ? kNoFile : NativePlatform::OpenForRead(path);
}

std::int64_t TestPlatform::FileSize(FileHandle file) {
  return Fails(Op::kFileSize) ? -1 : NativePlatform::FileSize(file);
}

FileHandle TestPlatform::CreateForWrite(const NativeString& path) {
  return Fails(Op::kCreateForWrite) ? kNoFile : NativePlatform::CreateForWrite(path);
}

std::int64_t TestPlatform::ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) {
  return Fails(Op::kReadAt) ? -1 : NativePlatform::ReadAt(file, offset, buffer, std::min(size, maxTransfer));
}

std::int64_t TestPlatform::WriteAt(FileHandle file, std::uint64_t offset, const void* data,
                                   std::size_t size) {
  return Fails(Op::kWriteAt) ? -1
                             : NativePlatform::WriteAt(file, offset, data, std::min(size, maxTransfer));
}

bool TestPlatform::Close(FileHandle file) {
  // A failed close still gives the handle back, as the systems' closes do.
  const bool closed = NativePlatform::Close(file);
  return !Fails(Op::kClose) && closed;
}

bool TestPlatform::Replace(const NativeString& from, const NativeString& to) {
  return !Fails(Op::kReplace) && NativePlatform::Replace(from, to);
}

bool TestPlatform::Delete(const NativeString& path) {
  return !Fails(Op::kDelete) && NativePlatform::Delete(path);
}

bool TestPlatform::AbsolutePath(const NativeString& path, NativeString* absolute) {
  return !Fails(Op::kAbsolutePath) && NativePlatform::AbsolutePath(path, absolute);
}

Status PourPayload(Platform& os, FileHandle file, std::span<std::uint8_t> buffer, FileHandle source,
                   std::span<const std::uint8_t> payload, std::size_t piece) {
  std::uint64_t bound = BitmapWriter::kSourceSize;
  for (int pass = 0; pass < 2; ++pass) {
    BitmapWriter writer(os, file, buffer, source, bound);
    Status status = Status::kOk;
    for (std::size_t at = 0; at < payload.size() && status == Status::kOk; at += piece)
      status = writer.Append(payload.subspan(at, std::min(piece, payload.size() - at)));
    if (status == Status::kOk) status = writer.Finish();
    if (status != Status::kOk || !writer.Again()) return status;
    bound = writer.PayloadSize();
  }
  return Status::kUnsupported;
}

NativeString Notice(const fs::path& path, Status status) {
  return NATIVE_TEXT("ファイル：") + path.native() + NATIVE_TEXT("\n") + MessageText(status);
}
