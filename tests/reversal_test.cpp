#include <gtest/gtest.h>

#include <climits>

#include "../src/convert/bitmap_rows.h"
#include "support.h"

namespace {

// A bare header claiming `width` x `height` followed by `pixelBytes` bytes
// numbered from 1, so every moved byte is recognisable.
Bytes Payload(std::int32_t width, std::int32_t height, std::size_t pixelBytes) {
  Bytes payload(54 + pixelBytes);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 31 + 1);
  PutInt32(payload, 18, width);
  PutInt32(payload, 22, height);
  return payload;
}

Bytes Reversed(Bytes payload, Status expected = Status::kOk) {
  EXPECT_EQ(ReverseBitmapRows(payload), expected);
  return payload;
}

TEST(Reversal, LeavesPayloadsWithoutRowsToMoveAlone) {
  for (const Bytes& payload : {Payload(4, 0, 40), Payload(4, -3, 36), Payload(4, INT_MIN, 5),
                               Payload(5, 1, 15), Payload(0, 7, 0), Payload(0, INT_MAX, 3)})
    EXPECT_EQ(Reversed(payload), payload);
}

TEST(Reversal, PayloadsTooShortForTheFieldsAreWrittenUnchanged) {
  const Bytes full = Payload(1, 2, 6);
  for (std::size_t size = 0; size < 26; ++size) {
    const Bytes shortPayload(full.begin(), full.begin() + size);
    EXPECT_EQ(Reversed(shortPayload), shortPayload) << size;
  }
}

TEST(Reversal, SwapsUnpaddedRowsAndKeepsHeaderAndTail) {
  const Bytes oneByTwo = Payload(1, 2, 6);
  Bytes expected = oneByTwo;
  std::copy(oneByTwo.begin() + 57, oneByTwo.begin() + 60, expected.begin() + 54);
  std::copy(oneByTwo.begin() + 54, oneByTwo.begin() + 57, expected.begin() + 57);
  EXPECT_EQ(Reversed(oneByTwo), expected);

  const Bytes twoByThree = Payload(2, 3, 18 + 5);  // 6-byte rows, then 5 trailing bytes
  expected = twoByThree;
  for (int r = 0; r < 3; ++r)
    std::copy_n(twoByThree.begin() + 54 + (2 - r) * 6, 6, expected.begin() + 54 + r * 6);
  EXPECT_EQ(Reversed(twoByThree), expected);
}

TEST(Reversal, MatchesTheCopyingReferenceOnRealBitmaps) {
  for (auto [width, height] : {std::pair{1, 1}, {3, 5}, {5, 4}, {64, 33}, {101, 7}}) {
    const Bytes bmp = MakeBitmap(width, height, width * 100 + height);
    EXPECT_EQ(Reversed(bmp), ExpectedOutput(bmp)) << width << "x" << height;
  }
}

TEST(Reversal, RowsThatDoNotFitAreRefusedUntouched) {
  EXPECT_EQ(Reversed(Payload(2, 3, 18)), ExpectedOutput(Payload(2, 3, 18)));  // exactly fits
  for (const Bytes& payload : {Payload(2, 3, 17), Payload(1, 2, 0), Payload(-1, 2, 6),
                               Payload(INT_MIN, 2, 6), Payload(INT_MAX, INT_MAX, 6),
                               Payload(0x55555556, 1, 6)}) {  // 3 x width wraps 32 bits
    EXPECT_EQ(Reversed(payload, Status::kUnsupported), payload);
  }
  Bytes noPixels = Payload(1, 1, 0);
  noPixels.resize(40);
  EXPECT_EQ(Reversed(noPixels, Status::kUnsupported), noPixels);
}

}  // namespace

// The streaming writer must give what the reversal in memory gives, however
// the payload is cut into buffers and appended pieces.
TEST(Writer, PlacesRowsAsTheReversalDoesForAnyBufferSize) {
  Bytes wide = MakeBitmap(4, 4, 1);
  PutInt32(wide, 18, 400);
  const Bytes payloads[] = {MakeBitmap(1, 1, 1), MakeBitmap(3, 5, 2), MakeBitmap(5, 4, 3),
                            MakeBitmap(64, 33, 4), MakeBitmap(2, -3, 5), Payload(0, 9, 40),
                            Payload(7, 3, 63 + 11), wide, Payload(2, 3, 17), Payload(-2, 3, 18)};
  TempDir dir;
  const NativeString name = (dir / "out").native();
  TestPlatform os;
  for (const Bytes& payload : payloads) {
    WriteFileBytes(dir / "source", payload);  // a carrier is longer: no looser a bound
    const FileHandle source = os.OpenForRead((dir / "source").native());
    Bytes expected = payload;
    const Status status = ReverseBitmapRows(expected);
    for (std::size_t bufferSize : {26, 57, 100, 4096}) {
      for (std::size_t piece : {1, 7, 255}) {
        SCOPED_TRACE(::testing::Message() << payload.size() << " bytes, buffer " << bufferSize
                                          << ", pieces of " << piece);
        Bytes buffer(bufferSize);
        const FileHandle file = os.CreateForWrite(name);
        BitmapWriter writer(os, file, buffer, source);
        for (std::size_t at = 0; at < payload.size(); at += piece)
          ASSERT_EQ(writer.Append(std::span(payload).subspan(at, std::min(piece, payload.size() - at))),
                    Status::kOk);
        EXPECT_EQ(writer.Finish(), status);
        EXPECT_TRUE(os.Close(file));
        if (status == Status::kOk) {
          EXPECT_EQ(ReadFileBytes(name), expected);
        }
      }
    }
    EXPECT_TRUE(os.Close(source));
  }
}
