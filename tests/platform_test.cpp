// The system's own file layer, beneath the failures the job tests inject.

#include <gtest/gtest.h>

#include "support.h"

namespace {

TEST(NativePlatform, RefusedReadsAndWritesGiveTheSystemsReason) {
  TempDir dir;
  WriteFileBytes(dir / "a", Bytes(8, 1));
  TestPlatform os;
  std::uint8_t byte = 0;
  const Result<FileHandle> reading = os.OpenForRead((dir / "a").native());
  ASSERT_TRUE(reading.Ok());
  const Result<std::size_t> written = os.WriteAt(reading.value, 0, &byte, 1);
  EXPECT_EQ(written.error.kind, SystemError::Kind::kSystem);
  EXPECT_NE(written.error.code, 0);
  EXPECT_FALSE(os.Close(reading.value));
  const Result<Staging> writing = os.CreateStaging((dir / "b").native());
  ASSERT_TRUE(writing.Ok());
  EXPECT_FALSE(os.ReadAt(writing.value.file, 0, &byte, 1).Ok());
  EXPECT_FALSE(os.Close(writing.value.file));
  EXPECT_FALSE(os.Delete(writing.value.hold, (dir / "b").native()));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a"});
}

}  // namespace
