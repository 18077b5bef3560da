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

Status PourPayload(Platform& os, OutputTarget& target, std::span<std::uint8_t> buffer, const OpenedFile& source,
                   std::span<const std::uint8_t> payload, std::size_t piece) {
  Bytes gathering(buffer.size());
  BmpOutput writer(os, buffer, gathering);
  Ending ending;
  do {
    Error error = writer.Start(target, {source.handle, source.stamp.size});
    for (std::size_t at = 0; at < payload.size() && !error; at += piece)
      error = writer.Append(payload.subspan(at, std::min(piece, payload.size() - at)));
    if (error) return error.status;
    ending = writer.Finish();
  } while (!ending.error && ending.needsSecondPass);
  return ending.error.status;
}

NativeString Notice(const fs::path& path, Status status) {
  return NATIVE_TEXT("ファイル：") + path.native() + NATIVE_TEXT("\n") + MessageText(status);
}

Bytes SamePictureOtherBytes(std::span<const std::uint8_t> bmp) {
  constexpr std::size_t kReserved = 6;  // bfReserved1 and bfReserved2, which no reader looks at
  Bytes other(bmp.begin(), bmp.end());
  for (std::size_t i = kReserved; i < kReserved + 4 && i < other.size(); ++i) other[i] ^= 0x5A;
  return other;
}
