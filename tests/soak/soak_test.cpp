// A long batch in one process, through the code path quillane-convert takes:
// every kind of outcome over and over, each checked, and the process left
// with the file descriptors and heap it started with.

#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>

#include "../support.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUILLANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLANE_ASAN 1
#endif
#endif
#ifdef QUILLANE_ASAN
// The sanitizer runtime's own count; gcc ships no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

constexpr int kFiles = 5000;
// glibc counts the few freed blocks its thread cache holds as in use, unless
// GLIBC_TUNABLES=glibc.malloc.tcache_count=0 (as ctest runs it); one block
// leaked a file would be ten times this.
constexpr std::size_t kHeapSlack = 16 * 1024;

enum class Kind {
  kCarrier, kEmpty, kTopDown, kStaleFiles,  // converted
  kBadExtension, kNotCarrier, kTruncated, kRowsPastPayload, kNegativeWidth,
  kOutputIsDirectory, kSourceIsDirectory, kMissing,
  kCount,
};

struct Case {
  fs::path path;
  Status status;
  Bytes output;
  std::uint64_t sourceSum = 0;
};

// FNV-1a, enough to notice any change to a source.
std::uint64_t Checksum(const Bytes& bytes) {
  std::uint64_t sum = 14695981039346656037u;
  for (const std::uint8_t byte : bytes) sum = (sum ^ byte) * 1099511628211u;
  return sum;
}

// This process's open file descriptors.
std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// Bytes the allocator has handed out and not had back.
std::size_t HeapInUse() {
#ifdef QUILLANE_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

// Writes the files for case `i` in `dir` and says what converting it gives.
Case MakeCase(const TempDir& dir, int i, std::vector<std::string>* names) {
  const auto kind = static_cast<Kind>(i % static_cast<int>(Kind::kCount));
  const std::string name = std::to_string(i) + (kind == Kind::kBadExtension ? ".Gif" : ".gif");
  Case c{dir / name, Status::kOk, {}};
  // Now and then a bitmap larger than the copy buffers.
  Bytes bmp = i % 1000 == 0 ? MakeBitmap(300, 300, i) : MakeBitmap(1 + i % 17, 1 + i % 11, i);
  // Each kind comes in both carrier forms, on alternate rounds.
  const CarrierForm form = i / static_cast<int>(Kind::kCount) % 2 ? CarrierForm::kComment : CarrierForm::kImage;
  Bytes file = MakeCarrier(bmp, form);
  switch (kind) {
    case Kind::kCarrier:
      break;
    case Kind::kEmpty:
      bmp.clear();
      file = MakeRawCarrier(form, std::vector<Bytes>{{}});
      break;
    case Kind::kTopDown:
      bmp = MakeBitmap(1 + i % 9, -(1 + i % 7), i);
      file = MakeCarrier(bmp, form);
      break;
    case Kind::kStaleFiles:
      WriteFileBytes(c.path.native() + ".temp", Bytes(7, 1));
      WriteFileBytes(c.path.native() + ".bmp", Bytes(7, 2));
      break;
    case Kind::kBadExtension:
      c.status = Status::kBadExtension;
      break;
    case Kind::kNotCarrier:
      file.assign(40 + i % 50, 0x3B);
      if (form == CarrierForm::kComment) file[19] = 0x21, file[20] = 0xF9;  // not a comment block
      c.status = Status::kUnsupported;
      break;
    case Kind::kTruncated:
      file.resize(32 + i % (file.size() - 34));  // inside the chain, past its start
      c.status = Status::kCutShort;
      break;
    case Kind::kRowsPastPayload:
    case Kind::kNegativeWidth:
      PutInt32(bmp, bmp::kWidth, kind == Kind::kNegativeWidth ? -(1 + i % 17) : 400 + i);
      file = MakeCarrier(bmp, form);
      c.status = Status::kDamaged;
      break;
    case Kind::kOutputIsDirectory:
      fs::create_directory(c.path.native() + ".bmp");
      names->push_back(name + ".bmp");
      c.status = Status::kIoError;
      break;
    case Kind::kSourceIsDirectory:
      fs::create_directory(c.path);
      names->push_back(name);
      c.status = Status::kUnsupported;
      return c;
    case Kind::kMissing:
      c.status = Status::kUnsupported;
      return c;
    case Kind::kCount:
      break;
  }
  WriteFileBytes(c.path, file);
  names->push_back(name);
  c.sourceSum = Checksum(file);
  if (c.status == Status::kOk) {
    c.output = ExpectedOutput(bmp);
    names->push_back(name + ".bmp");
  }
  return c;
}

TEST(Soak, ThousandsOfMixedFilesInOneProcess) {
  TempDir dir;
  std::vector<std::string> names;
  std::vector<Case> cases;
  for (int i = 0; i < kFiles; ++i) cases.push_back(MakeCase(dir, i, &names));
  std::sort(names.begin(), names.end());

  const auto start = std::chrono::steady_clock::now();
  std::size_t fdsBefore = 0, heapBefore = 0;
  int converted = 0, failed = 0;
  {
    // One workspace from file to file, as each of quillane-convert's threads keeps.
    NativePlatform os;
    Workspace workspace;
    ASSERT_TRUE(workspace.Ready());
    for (std::size_t i = 0; i < cases.size(); ++i) {
      // The baseline follows one file of each kind, so that the libraries'
      // one-time allocations fall before it.
      if (i == static_cast<std::size_t>(Kind::kCount)) {
        fdsBefore = OpenDescriptors();
        heapBefore = HeapInUse();
      }
      const Case& c = cases[i];
      SCOPED_TRACE(c.path.filename().string());
      BmpOutput writer(os, workspace.writing(), workspace.gathering());
      const Status status =
          RunJob(os, c.path.native(), {c.path.native(), kBmpSuffix}, writer, workspace.reading()).error.status;
      ASSERT_EQ(status, c.status);
      const fs::path output = c.path.native() + ".bmp";
      if (status == Status::kOk) {
        ++converted;
        EXPECT_EQ(ReadFileBytes(output), c.output);
      } else {
        ++failed;
        EXPECT_FALSE(fs::is_regular_file(output));
      }
      if (c.sourceSum) {
        EXPECT_EQ(Checksum(ReadFileBytes(c.path)), c.sourceSum);
      }
    }
  }
  const std::size_t fdsAfter = OpenDescriptors(), heapAfter = HeapInUse();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  EXPECT_EQ(dir.List(), names);  // no staging file, no stray output
  EXPECT_EQ(converted + failed, kFiles);
  EXPECT_EQ(fdsAfter, fdsBefore);
  EXPECT_LE(heapAfter, heapBefore + kHeapSlack);
  std::printf("soak: %d files, %d converted, %d failed, fds before/after %zu/%zu, "
              "heap before/after %zu/%zu bytes, %.1f s\n",
              kFiles, converted, failed, fdsBefore, fdsAfter, heapBefore, heapAfter, seconds);
}

}  // namespace
