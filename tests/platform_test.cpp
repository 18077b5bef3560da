// The system's own file layer, beneath the failures the job tests inject.

#include <gtest/gtest.h>

#include "support.h"

namespace {

TEST(NativePlatform, RefusedReadsAndWritesAreMinusOne) {
  TempDir dir;
  WriteFileBytes(dir / "a", Bytes(8, 1));
  TestPlatform os;
  std::uint8_t byte = 0;
  const FileHandle reading = os.OpenForRead((dir / "a").native());
  ASSERT_NE(reading, kNoFile);
  EXPECT_EQ(os.WriteAt(reading, 0, &byte, 1), -1);
  EXPECT_NE(os.LastError(), 0);
  EXPECT_TRUE(os.Close(reading));
  const FileHandle writing = os.CreateForWrite((dir / "b").native());
  ASSERT_NE(writing, kNoFile);
  EXPECT_EQ(os.ReadAt(writing, 0, &byte, 1), -1);
  EXPECT_TRUE(os.Close(writing));
}

}  // namespace
