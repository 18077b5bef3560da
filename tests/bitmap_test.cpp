#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <random>

#include "../src/picture/colour.h"
#include "../src/picture/picture.h"
#include "../src/picture/pixels.h"
#include "../src/picture/rle.h"
#include "memory_platform.h"
#include "support.h"

namespace {

// A bare header claiming `width` x `height` followed by `pixelBytes` bytes
// numbered from 1, so every moved byte is recognisable; no standard header.
Bytes Payload(std::int32_t width, std::int32_t height, std::size_t pixelBytes) {
  Bytes payload(bmp::kHeadersEnd + pixelBytes);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 31 + 1);
  PutInt32(payload, bmp::kWidth, width);
  PutInt32(payload, bmp::kHeight, height);
  return payload;
}

// What the writer makes of `payload`, in memory, held whole; or {} when it
// is not `expected`.
Bytes Converted(const Bytes& payload, Status expected = Status::kOk) {
  MemoryPlatform os;
  os.files[NATIVE_TEXT("in")] = payload;
  const OpenedFile source = os.OpenForRead(NATIVE_TEXT("in")).value;
  FileTarget target(os, os.Create(NATIVE_TEXT("out")));
  Bytes buffer(1 << 20);
  EXPECT_EQ(PourPayload(os, target, buffer, source, payload, payload.size() + 1), expected);
  return os.files[NATIVE_TEXT("out")];
}

TEST(PlainRows, PayloadsWithoutRowsToMoveAreWrittenUnchanged) {
  for (const Bytes& payload : {Payload(4, 0, 40), Payload(4, -3, 36), Payload(4, INT_MIN, 5),
                               Payload(5, 1, 15), Payload(0, 7, 0), Payload(0, INT_MAX, 3)})
    EXPECT_EQ(Converted(payload), payload);
  const Bytes full = Payload(1, 2, 6);
  for (std::size_t size = 0; size < bmp::kSizeFieldsEnd; ++size) {
    const Bytes shortPayload(full.begin(), full.begin() + size);
    EXPECT_EQ(Converted(shortPayload), shortPayload) << size;
  }
}

TEST(PlainRows, SwapsUnpaddedRowsAndKeepsHeaderAndTail) {
  const Bytes oneByTwo = Payload(1, 2, 6);
  Bytes expected = oneByTwo;
  std::copy(oneByTwo.begin() + 57, oneByTwo.begin() + 60, expected.begin() + 54);
  std::copy(oneByTwo.begin() + 54, oneByTwo.begin() + 57, expected.begin() + 57);
  EXPECT_EQ(Converted(oneByTwo), expected);

  const Bytes twoByThree = Payload(2, 3, 18 + 5);  // 6-byte rows, then 5 trailing bytes
  expected = twoByThree;
  for (int r = 0; r < 3; ++r)
    std::copy_n(twoByThree.begin() + 54 + (2 - r) * 6, 6, expected.begin() + 54 + r * 6);
  EXPECT_EQ(Converted(twoByThree), expected);
}

TEST(PlainRows, RowsThatDoNotFitAreRefused) {
  EXPECT_EQ(Converted(Payload(2, 3, 18)), ExpectedOutput(Payload(2, 3, 18)));  // exactly fits
  for (const Bytes& payload : {Payload(2, 3, 17), Payload(1, 2, 0), Payload(-1, 2, 6),
                               Payload(INT_MIN, 2, 6), Payload(INT_MAX, INT_MAX, 6),
                               Payload(0x55555556, 1, 6)}) {  // 3 x width wraps 32 bits
    Converted(payload, Status::kDamaged);
  }
  Bytes noPixels = Payload(1, 1, 0);
  noPixels.resize(40);
  Converted(noPixels, Status::kDamaged);
}

// The stride a header's fields choose, and whether the rows then fit.
TEST(StandardRows, StrideFollowsTheSizeFieldsThenTheFit) {
  constexpr std::uint64_t kPacked = 15, kPadded = 16, kRows = 10;  // 24-bit, 5 pixels wide
  constexpr std::uint64_t kEnough = 54 + kRows * kPadded;
  const std::uint64_t kHuge = std::uint64_t{1} << 40;
  struct Case {
    const char* what;
    BitmapShape shape;
    std::int64_t imageSize, fileSize;  // -1: as built
    std::uint64_t size;
    Status status;
    BitmapForm form;
    std::uint64_t stride, outStride;
  } cases[] = {
      {"one stride", {.width = 4, .height = 10}, -1, -1, kEnough, Status::kOk, BitmapForm::kRows, 12, 12},
      {"image size packed", {.width = 5, .height = 10}, kRows * kPacked, 0, kEnough, Status::kOk, BitmapForm::kRows,
       kPacked, kPadded},
      {"file size packed", {.width = 5, .height = 10}, 0, 54 + kRows * kPacked, kEnough, Status::kOk,
       BitmapForm::kRows, kPacked, kPadded},
      {"image size padded", {.width = 5, .height = 10}, kRows * kPadded, 0, kEnough, Status::kOk, BitmapForm::kRows,
       kPadded, kPadded},
      {"file size padded", {.width = 5, .height = 10}, 0, 54 + kRows * kPadded, kEnough, Status::kOk,
       BitmapForm::kRows, kPadded, kPadded},
      {"packed wins over padded", {.width = 5, .height = 10}, kRows * kPadded, 54 + kRows * kPacked, kEnough,
       Status::kOk, BitmapForm::kRows, kPacked, kPadded},
      {"neither size, 24-bit at 54", {.width = 5, .height = 10}, 0, 0, kEnough, Status::kOk, BitmapForm::kRows,
       kPacked, kPadded},
      {"neither size, pixels later", {.width = 5, .height = 10, .between = 4}, 0, 0, kEnough + 4, Status::kOk,
       BitmapForm::kRows, kPadded, kPadded},
      {"neither size, not 24-bit", {.width = 5, .height = 10, .depth = 8, .between = 1024}, 12345, 0, kHuge,
       Status::kOk, BitmapForm::kRows, 8, 8},
      {"padded stated, only packed fits", {.width = 5, .height = 10}, kRows * kPadded, 0, 54 + kRows * kPacked,
       Status::kOk, BitmapForm::kRows, kPacked, kPadded},
      {"packed stated, does not fit", {.width = 5, .height = 10}, kRows * kPacked, 0, 54 + kRows * kPacked - 1,
       Status::kDamaged, BitmapForm::kPlain, 0, 0},
      {"pixels past the end", {.width = 5, .height = 0, .between = 10}, 0, 0, 60, Status::kDamaged,
       BitmapForm::kPlain, 0, 0},
      {"1-bit", {.width = 9, .height = 10, .depth = 1, .between = 8}, -1, -1, kHuge, Status::kOk, BitmapForm::kRows,
       4, 4},
      // 2^31 rows of 2^33 - 4 bytes: 2^64 - 2^33 bytes, a hair below 2^64.
      {"the largest image", {.width = INT_MAX, .height = INT_MIN, .depth = 32}, 0, 0, UINT64_MAX, Status::kOk,
       BitmapForm::kRows, 0x1FFFFFFFC, 0x1FFFFFFFC},
      {"the largest image, too long", {.width = INT_MAX, .height = INT_MIN, .depth = 32}, 0, 0, kHuge,
       Status::kDamaged, BitmapForm::kPlain, 0, 0},
      {"RLE8", {.width = 5, .height = 10, .depth = 8, .compression = bmp::kRle8}, -1, -1, 60, Status::kOk,
       BitmapForm::kCompressed, 0, 0},
      {"24-bit bitfields", {.width = 4, .height = 1, .compression = bmp::kBitfields}, -1, -1, kHuge, Status::kOk,
       BitmapForm::kPlain, 12, 12},
      {"core header", {.width = 4, .height = 1, .infoSize = 12, .between = 28}, -1, -1, kHuge, Status::kOk,
       BitmapForm::kPlain, 12, 12},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    Bytes head = MakeBitmapHeader(test.shape, 1);
    if (test.imageSize >= 0) PutInt32(head, bmp::kImageSize, static_cast<std::int32_t>(test.imageSize));
    if (test.fileSize >= 0) PutInt32(head, bmp::kFileSize, static_cast<std::int32_t>(test.fileSize));
    BitmapRows rows;
    EXPECT_EQ(FindBitmapRows(head, test.size, &rows), test.status);
    EXPECT_EQ(rows.form, test.form);
    EXPECT_EQ(rows.stride, test.stride);
    EXPECT_EQ(rows.outStride, test.outStride);
  }
  Bytes head = MakeStandardBitmap({.width = 5, .height = -10, .packed = true}, 1);
  BitmapRows rows;
  ASSERT_EQ(FindBitmapRows(head, head.size(), &rows), Status::kOk);
  EXPECT_EQ(rows, (BitmapRows{BitmapForm::kRows, 54, 10, kPacked, kPadded, false}));
  head[bmp::kPlanes] = 2;
  ASSERT_EQ(FindBitmapRows(head, head.size(), &rows), Status::kOk);
  EXPECT_EQ(rows.form, BitmapForm::kPlain);
}

// The streaming writer must give what the copying model gives, however the
// payload is cut into buffers and appended pieces, and whatever the source's
// size lets it tell before the payload ends; poured again onto the file it
// wrote, it finds that file the same, and one changed byte makes it differ.
TEST(Writer, PlacesRowsAsTheModelDoesForAnyBufferSize) {
  Bytes wide = MakeBitmap(4, 4, 1);
  PutInt32(wide, bmp::kWidth, 400);
  Bytes paddedSizesOverPackedRows = MakeStandardBitmap({.width = 7, .height = 40, .packed = true}, 9);
  PutInt32(paddedSizesOverPackedRows, bmp::kImageSize, 40 * 24);
  Bytes rowsAndATail = MakeBitmap(5, 4, 3);  // a tail of more than a row, held with the rows
  rowsAndATail.resize(rowsAndATail.size() + 40, 0x7E);
  const Bytes payloads[] = {
      MakeBitmap(1, 1, 1), MakeBitmap(3, 5, 2), MakeBitmap(5, 4, 3), MakeBitmap(64, 33, 4), MakeBitmap(2, -3, 5),
      Payload(0, 9, 40), Payload(7, 3, 63 + 11), wide, Payload(2, 3, 17), Payload(-2, 3, 18),
      MakeStandardBitmap({.width = 7, .height = 30, .packed = true}, 6),
      MakeStandardBitmap({.width = 7, .height = -30, .packed = true, .statedSizes = false}, 7),
      MakeStandardBitmap({.width = 21, .height = 9, .depth = 1, .packed = true, .between = 8}, 8),
      MakeStandardBitmap({.width = 9, .height = 9, .depth = 8, .infoSize = 124, .between = 1024}, 10),
      MakeStandardBitmap({.width = 11, .height = 6, .depth = 16, .compression = bmp::kBitfields, .between = 12}, 11),
      MakeStandardBitmap({.width = 9, .height = 20, .depth = 8, .compression = bmp::kRle8}, 12),
      paddedSizesOverPackedRows, rowsAndATail};
  MemoryPlatform os;
  for (const Bytes& payload : payloads) {
    // A carrier is longer than its payload, trailing bytes and all.
    Bytes carrier = MakeCarrier(payload, CarrierForm::kComment);
    carrier.resize(carrier.size() + 1024);
    os.files[NATIVE_TEXT("source")] = carrier;
    const OpenedFile source = os.OpenForRead(NATIVE_TEXT("source")).value;
    const ModelResult expected = ReferenceConvertPayload(payload);
    for (std::size_t bufferSize : {54, 57, 100, 4096}) {
      for (std::size_t piece : {1, 7, 255}) {
        SCOPED_TRACE(::testing::Message() << payload.size() << " bytes, buffer " << bufferSize
                                          << ", pieces of " << piece);
        Bytes buffer(bufferSize);
        const FileHandle file = os.Create(NATIVE_TEXT("out"));
        FileTarget target(os, file);
        EXPECT_EQ(PourPayload(os, target, buffer, source, payload, piece), expected.status);
        if (expected.status == Status::kOk) {
          EXPECT_EQ(os.files[NATIVE_TEXT("out")], expected.bytes);
        }
        EXPECT_FALSE(os.Close(file));
      }
      if (expected.status != Status::kOk) continue;
      for (const bool changed : {false, true}) {
        Bytes standing = expected.bytes;
        if (changed && !standing.empty()) standing[standing.size() / 2] ^= 1;
        os.files[NATIVE_TEXT("standing")] = standing;
        const OpenedFile opened = os.OpenForRead(NATIVE_TEXT("standing")).value;
        // Judged, the payload is held whole, its size known.
        Bytes buffer(bufferSize), gathering(bufferSize), matching(bufferSize);
        MatchTarget match(os, opened, matching);
        BmpOutput output(os, buffer, gathering);
        output.Start(match, {kNoFile, payload.size()});
        for (std::size_t at = 0; at < payload.size(); at += 255)
          output.Append(std::span(payload).subspan(at, std::min<std::size_t>(255, payload.size() - at)));
        output.Finish();
        EXPECT_EQ(match.Same().value, !changed || standing.empty()) << bufferSize;
        EXPECT_FALSE(os.Close(opened.handle));
      }
    }
    EXPECT_FALSE(os.Close(source.handle));
  }
}

// What Pillow shows for each value of a 5- and a 6-bit channel, read from a
// 16-bit BMP holding every value (Pillow 9.4, masks 0xF800, 0x07E0, 0x001F).
const std::vector<std::uint8_t> kPillowFiveBits = {
    0, 8, 16, 24, 32, 41, 49, 57, 65, 74, 82, 90, 98, 106, 115, 123,
    131, 139, 148, 156, 164, 172, 180, 189, 197, 205, 213, 222, 230, 238, 246, 255};
const std::vector<std::uint8_t> kPillowSixBits = {
    0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 56, 60, 64, 68, 72, 76, 80, 85,
    89, 93, 97, 101, 105, 109, 113, 117, 121, 125, 129, 133, 137, 141, 145, 149, 153, 157, 161, 165,
    170, 174, 178, 182, 186, 190, 194, 198, 202, 206, 210, 214, 218, 222, 226, 230, 234, 238, 242, 246, 250, 255};

// One stored value shows one colour, and that colour stores that value
// again, under every mask a header may give, so an unedited picture changes
// nothing; an index past the palette shows black.
TEST(Pixels, EachStoredValueShowsAColourThatStoresItAgain) {
  const struct {
    const char* what;
    std::uint16_t depth;
    std::uint32_t mask;       // the one channel looked at, red
    std::uint8_t top;         // what its largest value shows
    std::vector<std::uint8_t> shown = {};  // what each value shows, where a reader not ours tells
  } cases[] = {
      {"5 bits", 16, 0xF800, 255, kPillowFiveBits}, {"6 bits", 16, 0x07E0, 255, kPillowSixBits},
      {"1 bit", 16, 0x8000, 255, {0, 255}},
      {"8 bits", 32, 0xFF0000, 255}, {"10 bits", 32, 0x3FF00000, 255},
      // Bits 9 and 11 span 3 bits, whose largest value 5 (0b101) shows 5 x 255 / 7.
      {"bits apart", 16, 0x0A00, 182}, {"no bits", 16, 0, 0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    Bytes head = MakeBitmapHeader({.depth = test.depth, .compression = bmp::kBitfields, .between = 12}, 1);
    bmp::PutU32(head, bmp::kMasks, test.mask);
    bmp::PutU32(head, bmp::kMasks + 4, 0x001F);
    bmp::PutU32(head, bmp::kMasks + 8, 0);
    BmpHeader header;
    PixelFormat format;
    ASSERT_EQ(ReadBmpHeader(head, &header), BmpRead::kOk);
    ASSERT_TRUE(format.Open(header, head));
    const int shift = test.mask ? std::countr_zero(test.mask) : 0;
    std::uint32_t largest = 0;
    for (std::uint32_t field = 0; field <= (test.mask >> shift); ++field) {
      const std::uint32_t value = (field << shift & test.mask) | 0x0003;  // blue, and bits no channel uses, kept
      if ((value & test.mask) >> shift != field) continue;
      const Rgba colour = format.Colour(value);
      const std::uint32_t bits = std::bit_width(test.mask >> shift);
      // A channel wider than 8 bits holds more values than colours: each shows the colour that stores it.
      const std::optional<std::uint32_t> stored = format.ValueOf(colour, value & ~test.mask);
      ASSERT_TRUE(stored);
      if (bits <= 8) {
        EXPECT_EQ(*stored, value) << field;
      } else {
        EXPECT_EQ(format.Colour(*stored), colour) << field;
      }
      if (!test.shown.empty()) {
        EXPECT_EQ(colour[0], test.shown.at(field)) << field;
      }
      largest = std::max<std::uint32_t>(largest, colour[0]);
    }
    EXPECT_EQ(largest, test.top);
  }
  // A channel wider than 8 bits shows its top 8: 0x200 and 0x1FF of 10 bits show 128 and 127.
  Bytes wide = MakeBitmapHeader({.depth = 32, .compression = bmp::kBitfields, .between = 12}, 1);
  bmp::PutU32(wide, bmp::kMasks, 0x3FF00000);
  bmp::PutU32(wide, bmp::kMasks + 4, 0);
  bmp::PutU32(wide, bmp::kMasks + 8, 0);
  BmpHeader wideHeader;
  PixelFormat wideFormat;
  ASSERT_EQ(ReadBmpHeader(wide, &wideHeader), BmpRead::kOk);
  ASSERT_TRUE(wideFormat.Open(wideHeader, wide));
  EXPECT_EQ(wideFormat.Colour(0x20000000)[0], 128);
  EXPECT_EQ(wideFormat.Colour(0x1FF00000)[0], 127);
  Bytes palette = MakeBitmapHeader({.depth = 8, .between = 3 * bmp::kPaletteEntry}, 2);
  PutInt32(palette, bmp::kColorsUsed, 3);
  BmpHeader header;
  PixelFormat format;
  ASSERT_EQ(ReadBmpHeader(palette, &header), BmpRead::kOk);
  ASSERT_TRUE(format.Open(header, palette));
  ASSERT_EQ(format.Palette().size(), 3u);
  EXPECT_EQ(format.Colour(2), (Rgba{palette[54 + 10], palette[54 + 9], palette[54 + 8], kOpaque}));
  EXPECT_EQ(format.Colour(3), (Rgba{0, 0, 0, kOpaque}));
}

// The indices a picture gives, top row first; a pixel no row gave stays kUnset.
struct IndexGrid final : PictureSink {
  static constexpr int kUnset = -1;
  std::vector<std::vector<int>> rows;
  void Begin(const PictureInfo& info) override {
    rows.assign(info.height, std::vector<int>(info.width, kUnset));
  }
  void Accept(const PixelRun& run) override {
    for (std::uint32_t i = 0; i < run.count; ++i) rows.at(run.y).at(run.x + i * run.step) = run.pixels[i];
  }
};

// Reads an RLE picture of `codes`, rows stored bottom-up, into `grid`.
PictureProblem ReadRlePicture(std::uint16_t depth, std::int32_t width, std::int32_t height, const Bytes& codes,
                              IndexGrid& grid) {
  Bytes file = MakeBitmapHeader({.width = width, .height = height, .depth = depth,
                                 .compression = depth == 8 ? bmp::kRle8 : bmp::kRle4,
                                 .between = static_cast<std::uint32_t>(bmp::kPaletteEntry << depth)}, 3);
  file.insert(file.end(), codes.begin(), codes.end());
  MemoryPlatform os;
  os.files[NATIVE_TEXT("p.bmp")] = file;
  Bytes buffer(4096);
  const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
  return ReadPicture(os, NATIVE_TEXT("p.bmp"), {w, h, false, false, (std::uint64_t{w} * depth + 31) / 32 * 4}, grid,
                     buffer);
}

// Every RLE escape as the format defines it, rows stored bottom-up: a count
// and an index repeat it (RLE4: its two nibbles in turn, the high one
// first); 0 0 ends the line, 0 1 the bitmap, leaving the pixels it did not
// reach at index 0; 0 2 dx dy moves dx right and dy down, the column kept;
// 0 n starts n indices as they are, padded to a 16-bit word. The expected
// indices are also what ImageMagick decodes from the same bytes.
TEST(Rle, EachEscapeAsTheFormatDefinesIt) {
  const struct {
    const char* what;
    std::uint16_t depth;
    std::int32_t width, height;
    Bytes codes;
    std::vector<std::vector<int>> shown;  // top row first
  } cases[] = {
      {"runs, end of line, end of bitmap", 8, 4, 3, {3, 1, 1, 2, 0, 0, 2, 3, 0, 0, 0, 1},
       {{0, 0, 0, 0}, {3, 3, 0, 0}, {1, 1, 1, 2}}},
      {"a delta down keeps the column", 8, 4, 3, {2, 7, 0, 2, 1, 1, 1, 8, 0, 1},
       {{0, 0, 0, 0}, {0, 0, 0, 8}, {7, 7, 0, 0}}},
      {"a delta along the line", 8, 4, 3, {1, 4, 0, 2, 2, 0, 1, 5, 0, 1}, {{0, 0, 0, 0}, {0, 0, 0, 0}, {4, 0, 0, 5}}},
      {"the bitmap ended on its first line", 8, 4, 3, {4, 9, 0, 1}, {{0, 0, 0, 0}, {0, 0, 0, 0}, {9, 9, 9, 9}}},
      {"three indices as they are, padded to a word", 8, 4, 2, {0, 3, 10, 11, 12, 0, 1, 13, 0, 1},
       {{0, 0, 0, 0}, {10, 11, 12, 13}}},
      {"RLE4 runs alternate their two indices", 4, 5, 2, {5, 0x12, 0, 0, 5, 0x34, 0, 1},
       {{3, 4, 3, 4, 3}, {1, 2, 1, 2, 1}}},
      {"RLE4, five indices as they are, three bytes padded to a word", 4, 5, 1, {0, 5, 0x12, 0x34, 0x50, 0, 0, 1},
       {{1, 2, 3, 4, 5}}},
      {"RLE4, a delta down keeps the column", 4, 5, 2, {2, 0x56, 0, 2, 1, 1, 2, 0x78, 0, 1},
       {{0, 0, 0, 7, 8}, {5, 6, 0, 0, 0}}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    IndexGrid grid;
    const PictureProblem problem = ReadRlePicture(test.depth, test.width, test.height, test.codes, grid);
    EXPECT_FALSE(problem) << static_cast<int>(problem.kind) << " " << problem.detail;
    EXPECT_EQ(grid.rows, test.shown);
  }
}

// Hostile data, each refused with its reason and read no further than the
// fault: in memory, where the bytes used tell, and as a picture's damage.
TEST(Rle, HostileDataIsRefusedWithItsReason) {
  const struct {
    const char* what;
    std::uint16_t depth;
    Bytes codes;  // of a picture 4 wide and 2 high
    RleFault fault;
    std::size_t used;
  } cases[] = {
      {"a run past the last row", 8, {4, 1, 0, 0, 4, 1, 0, 0, 1, 1, 0, 1}, RleFault::kRunPastLastRow, 10},
      {"indices as they are past the last row", 8, {0, 0, 0, 0, 0, 3, 1, 2, 3, 0}, RleFault::kRunPastLastRow, 10},
      {"RLE4, a run past the last row after a delta", 4, {0, 2, 0, 2, 2, 0x12}, RleFault::kRunPastLastRow, 6},
      {"a delta below the last row", 8, {0, 2, 0, 3, 0, 1}, RleFault::kJumpPastEnd, 4},
      {"a delta along the line past the last row", 8, {0, 2, 0, 2, 0, 2, 1, 0}, RleFault::kJumpPastEnd, 8},
      {"cut in a run", 8, {4}, RleFault::kCutShort, 0},
      {"cut in a delta", 8, {0, 2, 1}, RleFault::kCutShort, 2},
      {"cut in indices as they are", 8, {0, 5, 1, 2, 3, 4, 5}, RleFault::kCutShort, 2},
      {"RLE4, cut in the padding", 4, {0, 5, 0x12, 0x34, 0x50}, RleFault::kCutShort, 2},
      {"no end of bitmap", 8, {4, 1, 0, 0, 4, 1, 0, 0}, RleFault::kCutShort, 8},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const RleDecoded decoded = DecodeRleBytes(test.codes, {4, 2, test.depth}, 0, [](auto...) {});
    EXPECT_EQ(decoded.fault, test.fault);
    EXPECT_EQ(decoded.used, test.used);
    IndexGrid grid;
    const PictureProblem problem = ReadRlePicture(test.depth, 4, 2, test.codes, grid);
    if (test.fault == RleFault::kCutShort) EXPECT_EQ(problem.kind, PictureProblem::Kind::kCutShort);
    else EXPECT_EQ(problem.detail, RleFaultWords(test.fault));
  }
}

// Whatever the indices, runs of one, of two in turn, or none, of any length,
// decoding their encoding gives them back, in pieces of any size, read to
// its end; indices of no such picture are not encoded.
TEST(Rle, DecodesWhatItEncodes) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    const RleShape shape{static_cast<std::uint32_t>(random() % 600), 1 + static_cast<std::uint32_t>(random() % 4),
                         round % 2 ? 4 : 8};
    const std::uint32_t values = 1u << shape.depth;
    Bytes indices;
    while (indices.size() < std::size_t{shape.width} * shape.rows) {
      const std::uint32_t kind = random() % 3, length = 1 + random() % 600;
      const std::uint32_t a = random() % values, b = random() % values;
      for (std::uint32_t i = 0; i < length; ++i)
        indices.push_back(static_cast<std::uint8_t>(kind == 2 ? random() % values : i % 2 && kind ? b : a));
    }
    indices.resize(std::size_t{shape.width} * shape.rows);
    SCOPED_TRACE(::testing::Message() << shape.width << " x " << shape.rows << ", depth " << shape.depth);
    const std::optional<Bytes> data = EncodeRle(indices, shape);
    ASSERT_TRUE(data);
    Bytes decoded(indices.size(), 0xEE);
    const auto take = [&](std::uint32_t row, std::uint32_t x, std::span<const std::uint8_t> given) {
      std::copy(given.begin(), given.end(), decoded.begin() + std::size_t{row} * shape.width + x);
    };
    const RleDecoded got = DecodeRleBytes(*data, shape, random() % 5, take);
    EXPECT_EQ(got.fault, RleFault::kNone);
    EXPECT_EQ(got.used, data->size());
    EXPECT_EQ(decoded, indices);
  }
  EXPECT_FALSE(EncodeRle(Bytes{16}, {1, 1, 4}));
  EXPECT_FALSE(EncodeRle(Bytes(3), {2, 1, 8}));
  EXPECT_FALSE(EncodeRle(Bytes(2), {2, 1, 1}));
}

// A file of new pixels states their size and its own, the bytes after them kept.
TEST(Rle, AFileOfNewPixelsStatesItsSizes) {
  const Bytes head = MakeBitmapHeader({.width = 4, .height = 2, .depth = 8, .compression = bmp::kRle8}, 1);
  const std::optional<Bytes> file = BmpWithPixels(head, Bytes{8, 1, 0, 1}, Bytes{7, 7});
  ASSERT_TRUE(file);
  EXPECT_EQ(*file, [&] { Bytes b = head; b.insert(b.end(), {8, 1, 0, 1, 7, 7}); PutInt32(b, bmp::kImageSize, 4);
                          PutInt32(b, bmp::kFileSize, static_cast<std::int32_t>(b.size())); return b; }());
  EXPECT_FALSE(BmpWithPixels(std::span(head).first(bmp::kImageSize + 3), Bytes{}, Bytes{}));
}

// --nearest: the entry nearest in CIELAB, looked for over the whole palette,
// the lowest index of those as near. White and black lie ΔE 100 apart: L*
// 100 and 0, a* and b* 0 under D65.
TEST(Nearest, SearchesTheWholePaletteAndTiesGoToTheLowestIndex) {
  const Rgba white{255, 255, 255, kOpaque}, black{0, 0, 0, kOpaque}, red{255, 0, 0, kOpaque};
  std::vector<Rgba> greys;
  for (int i = 0; i < 256; ++i) greys.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                                  static_cast<std::uint8_t>(i), kOpaque});
  const struct {
    const char* what;
    std::vector<Rgba> palette;
    Rgba colour;
    std::uint32_t index;
  } cases[] = {
      {"the last of three", {black, white, red}, {250, 10, 10, kOpaque}, 2},
      {"the last of 256", greys, white, 255},
      {"the first of 256", greys, black, 0},
      {"the one entry there is", {black}, red, 0},
      {"the lower of two alike", {white, black, black}, {20, 20, 20, kOpaque}, 1},
      {"a colour there twice", {red, white, red}, red, 0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    NearestEntry nearest(test.palette);
    const std::optional<NearestEntry::Found> found = nearest.Find(test.colour);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->index, test.index);
    // Asked again, a colour is found where it was.
    EXPECT_EQ(nearest.Find(test.colour)->index, test.index);
  }
  NearestEntry blackOnly(std::vector<Rgba>{black});
  EXPECT_NEAR(blackOnly.Find(white)->deltaE, 100.0, 1e-3);  // as near as the matrix's seven digits give
  EXPECT_FALSE(NearestEntry(std::vector<Rgba>{}).Find(white));
}

}  // namespace
