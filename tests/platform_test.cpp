// The system's own file layer, beneath the failures the job tests inject.

#include <gtest/gtest.h>

#include <chrono>

#include "support.h"

namespace {

TEST(NativePlatform, RefusedReadsAndWritesGiveTheSystemsReason) {
  TempDir dir;
  WriteFileBytes(dir / "a", Bytes(8, 1));
  NativePlatform os;
  std::uint8_t byte = 0;
  const Result<OpenedFile> reading = os.OpenForRead((dir / "a").native());
  ASSERT_TRUE(reading.Ok());
  const Result<std::size_t> written = os.WriteAt(reading.value.handle, 0, &byte, 1);
  EXPECT_EQ(written.error.kind, SystemError::Kind::kSystem);
  EXPECT_NE(written.error.code, 0);
  EXPECT_FALSE(os.Close(reading.value.handle));
  const Result<Staging> writing = os.CreateStaging((dir / "b").native());
  ASSERT_TRUE(writing.Ok());
  EXPECT_FALSE(os.ReadAt(writing.value.file, 0, &byte, 1).Ok());
  EXPECT_FALSE(os.Close(writing.value.file));
  EXPECT_FALSE(os.Delete(writing.value.hold, (dir / "b").native()));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a"});
}

}  // namespace

// What may stand at a staging name, and what taking it does: whatever is
// there goes as a name, a link's target and a hard link's other name kept,
// unless a live conversion holds it.
TEST(NativePlatform, TakingAStagingNameReplacesAnythingButALiveOne) {
  TempDir dir;
  NativePlatform os;
  const NativeString name = (dir / "x.gif.temp").native();
  const auto take = [&] { return os.CreateStaging(name); };
  const auto release = [&](const Staging& staging) {
    EXPECT_FALSE(os.Close(staging.file));
    EXPECT_FALSE(os.Delete(staging.hold, name));
  };
  struct Case {
    const char* what;
    void (*put)(const TempDir& dir);
  } cases[] = {
      {"nothing", [](const TempDir&) {}},
      {"a stale file", [](const TempDir& d) { WriteFileBytes(d / "x.gif.temp", Bytes(3, 1)); }},
      {"a read-only file",
       [](const TempDir& d) {
         WriteFileBytes(d / "x.gif.temp", Bytes(3, 1));
         fs::permissions(d / "x.gif.temp", fs::perms::owner_read);
       }},
      {"a hard link",
       [](const TempDir& d) {
         WriteFileBytes(d / "other", Bytes(3, 2));
         fs::create_hard_link(d / "other", d / "x.gif.temp");
       }},
#ifndef _WIN32
      {"a symbolic link", [](const TempDir& d) { fs::create_symlink(d / "other", d / "x.gif.temp"); }},
#endif
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    test.put(dir);
    const Result<Staging> staging = take();
    ASSERT_TRUE(staging.Ok());
    const std::uint8_t byte = 7;
    EXPECT_TRUE(os.WriteAt(staging.value.file, 0, &byte, 1).Ok());
    const Result<Staging> second = take();
    EXPECT_EQ(second.error.kind, SystemError::Kind::kBusy);
    release(staging.value);
    if (fs::exists(dir / "other")) {
      EXPECT_EQ(ReadFileBytes(dir / "other"), Bytes(3, 2));
    }
    fs::remove(dir / "other");
    EXPECT_EQ(dir.List(), std::vector<std::string>{});
  }
  fs::create_directory(dir / "x.gif.temp");
  const Result<Staging> folder = take();
  EXPECT_EQ(folder.error.kind, SystemError::Kind::kSystem);
}

TEST(NativePlatform, FilesAreToldApartByIdentityNotSpelling) {
  TempDir dir;
  WriteFileBytes(dir / "a", Bytes(1, 1));
  WriteFileBytes(dir / "b", Bytes(1, 1));
  fs::create_directory(dir / "sub");
  const auto id = [](const fs::path& path) { return IdentifyFile(path.native()).value; };
  EXPECT_EQ(id(dir / "a"), id(dir / "sub" / ".." / "a"));
  EXPECT_NE(id(dir / "a"), id(dir / "b"));
  EXPECT_FALSE(IdentifyFile((dir / "missing").native()).Ok());
}

// A backup is the very file under a further name, its bytes, mode and time
// with it: a numbered name that stands is refused, a simple one replaces the
// one before, a stale staging file included, and nothing to keep makes nothing.
TEST(NativePlatform, ABackupIsTheFileUnderAFurtherName) {
  TempDir dir;
  NativePlatform os;
  const auto at = [&](const char* name) { return (dir / name).native(); };
  WriteFileBytes(dir / "x.gif", Bytes(6, 1));
  fs::last_write_time(dir / "x.gif", fs::file_time_type() + std::chrono::hours(300000));
  WriteFileBytes(dir / "x.gif~", Bytes(2, 9));
  WriteFileBytes(dir / "x.gif~.temp", Bytes(2, 8));
  WriteFileBytes(dir / "x.gif.~1~", Bytes(2, 7));
  const Result<bool> simple = os.KeepBackup(at("x.gif"), at("x.gif~"), at("x.gif~.temp"), true);
  const Result<bool> numbered = os.KeepBackup(at("x.gif"), at("x.gif.~2~"), at("x.gif.~2~.temp"), false);
  const Result<bool> taken = os.KeepBackup(at("x.gif"), at("x.gif.~1~"), at("x.gif.~1~.temp"), false);
  const Result<bool> nothing = os.KeepBackup(at("y.gif"), at("y.gif~"), at("y.gif~.temp"), true);
  EXPECT_TRUE(simple.Ok() && simple.value);
  EXPECT_TRUE(numbered.Ok() && numbered.value);
  EXPECT_EQ(taken.error.kind, SystemError::Kind::kTaken);
  EXPECT_TRUE(nothing.Ok() && !nothing.value);
  for (const char* name : {"x.gif~", "x.gif.~2~"}) {
    EXPECT_EQ(IdentifyFile(at(name)).value, IdentifyFile(at("x.gif")).value) << name;
    EXPECT_EQ(fs::last_write_time(dir / name), fs::last_write_time(dir / "x.gif")) << name;
  }
  EXPECT_EQ(ReadFileBytes(dir / "x.gif.~1~"), Bytes(2, 7));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"x.gif", "x.gif.~1~", "x.gif.~2~", "x.gif~"}));
}
