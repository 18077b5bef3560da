// Test support: scratch folders, whole-file helpers, payloads poured, and
// the notices the window shows.
#pragma once

#include <array>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "../src/convert/bmp_output.h"
#include "../src/convert/file_io.h"
#include "../src/os/native_platform.h"
#include "../src/os/system.h"
#include "drop.h"
#include "faulty_platform.h"
#include "model.h"

namespace fs = std::filesystem;

// A fresh folder, by default under the system's temporary folder, removed
// with its contents.
class TempDir {
 public:
  explicit TempDir(const fs::path& parent = fs::temp_directory_path());
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const fs::path& name) const { return path_ / name; }
  // Names of everything in the folder, sorted.
  std::vector<std::string> List() const;

 private:
  fs::path path_;
};

Bytes ReadFileBytes(const fs::path& path);
void WriteFileBytes(const fs::path& path, std::span<const std::uint8_t> bytes);

// Collects a payload in memory.
struct BytesSink : PayloadSink {
  Bytes bytes;
  Error Append(std::span<const std::uint8_t> data) override {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return {};
  }
};

// Hands `payload` to a BmpOutput onto `target` in pieces of `piece` bytes,
// and again when it asks, as a conversion does.
Status PourPayload(Platform& os, OutputTarget& target, std::span<std::uint8_t> buffer, const OpenedFile& source,
                   std::span<const std::uint8_t> payload, std::size_t piece);

// The BMP file `bmp` with its reserved fields set: the same picture in other bytes.
Bytes SamePictureOtherBytes(std::span<const std::uint8_t> bmp);

// The notice the job shows for `path` and `status`.
NativeString Notice(const fs::path& path, Status status);
