#include <gtest/gtest.h>

#include "../src/convert/carrier_writer.h"
#include "memory_platform.h"
#include "support.h"

namespace {

struct Extracted {
  Status status;
  Bytes payload;
  CarrierForm form;
};

Extracted Extract(std::span<const std::uint8_t> file, std::size_t maxTransfer = -1) {
  MemoryPlatform files;
  files.files[NATIVE_TEXT("in.gif")] = Bytes(file.begin(), file.end());
  FaultyPlatform os(files);
  os.maxTransfer = maxTransfer;
  const FileHandle source = os.OpenForRead(NATIVE_TEXT("in.gif")).value.handle;
  BytesSink sink;
  CarrierForm form{-1};
  Bytes buffer(kTransferSize);
  const Status status = ExtractPayload(os, source, sink, &form, buffer).status;
  EXPECT_FALSE(os.Close(source));
  return {status, sink.bytes, form};
}

Bytes Sequence(std::size_t size, std::uint8_t first) {
  Bytes run(size);
  for (std::size_t i = 0; i < size; ++i) run[i] = static_cast<std::uint8_t>(first + i * 7);
  return run;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST(Container, ImageFormSkipsDescriptorAndIgnoresWhatFollows) {
  const Bytes data = Sequence(10, 1);
  const Bytes file = Join({Sequence(19, 0xA0),  // nothing before the marker is looked at
                           {0x2C},
                           {9, 9, 9, 9, 0xFF, 0xFF, 0xFF, 0xFF, 0x87, 8},  // local colour table flag set
                           {10},
                           data,
                           {5, 1, 2, 3, 4, 5, 0, 0x3B}});

  const Extracted got = Extract(file);
  EXPECT_EQ(got.status, Status::kOk);
  EXPECT_EQ(got.payload, data);
}

TEST(Container, OnlyFullSubBlocksAreFollowed) {
  const Bytes a = Sequence(255, 1), b = Sequence(255, 2), c = Sequence(4, 3), d = Sequence(254, 4), e = Sequence(100, 5);
  struct Case {
    CarrierForm form;
    std::vector<Bytes> blocks;
    Bytes payload;
  } cases[] = {
      {CarrierForm::kComment, {a, b, c, Sequence(9, 6)}, Join({a, b, c})},
      {CarrierForm::kImage, {a, {}, c}, a},
      {CarrierForm::kComment, {d, d, e, {}}, d},  // GIF would take all three
      {CarrierForm::kImage, {{}, a}, {}},
  };
  for (const Case& test : cases) {
    const Extracted got = Extract(MakeRawCarrier(test.form, test.blocks));
    EXPECT_EQ(got.status, Status::kOk);
    EXPECT_EQ(got.payload, test.payload);
    EXPECT_EQ(got.form, test.form);
  }
}

TEST(Container, ProbeRefusesOtherBlocks) {
  for (const Bytes& probe : std::vector<Bytes>{{0x3B}, {0x00}, {0x2D}, {0xFF}, {0x21, 0xF9}, {0x21, 0xFF}}) {
    Bytes file(19, 0);
    file.insert(file.end(), probe.begin(), probe.end());
    file.resize(64, 10);
    const Extracted got = Extract(file);
    EXPECT_EQ(got.status, Status::kUnsupported) << int(probe.back());
    EXPECT_TRUE(got.payload.empty());
  }
}

// Cut before its marker (or its comment's label) can be read, a file is no
// carrier; cut after it, anywhere before the first length byte, the unread
// descriptor included, a carrier is cut short; a first length of 0 is an
// empty chain.
TEST(Container, FileEndingBeforeTheChainStarts) {
  for (CarrierForm form : {CarrierForm::kComment, CarrierForm::kImage}) {
    const Bytes full = MakeRawCarrier(form, std::vector<Bytes>{{}});
    const std::size_t probed = form == CarrierForm::kComment ? 21 : 20;
    for (std::size_t size = 0; size < full.size(); ++size)
      EXPECT_EQ(Extract({full.data(), size}).status, size < probed ? Status::kUnsupported : Status::kCutShort) << size;
    const Extracted got = Extract(full);
    EXPECT_EQ(got.status, Status::kOk);
    EXPECT_TRUE(got.payload.empty());
  }
}

TEST(Container, AChainCutShortIsToldSo) {
  const Bytes payload = Sequence(600, 9);
  const Bytes full = MakeCarrier(payload, CarrierForm::kComment);
  const std::size_t chainEnd = 21 + 1 + 255 + 1 + 255 + 1 + 90;
  for (std::size_t size = 22; size < full.size(); ++size) {
    const Extracted got = Extract({full.data(), size});
    if (size < chainEnd) {
      EXPECT_EQ(got.status, Status::kCutShort) << size;
    } else {
      EXPECT_EQ(got.status, Status::kOk) << size;
      EXPECT_EQ(got.payload, payload);
    }
  }
}

TEST(Container, ShortReadsAndLargePayloadsGiveTheSameBytes) {
  const Bytes small = Sequence(1000, 3);
  const Bytes large = MakeBitmap(700, 300, 5);  // larger than the copy buffers
  for (std::size_t transfer : {1, 7, 4096}) {
    EXPECT_EQ(Extract(MakeCarrier(small, CarrierForm::kImage), transfer).payload, small);
  }
  for (CarrierForm form : {CarrierForm::kImage, CarrierForm::kComment}) {
    EXPECT_EQ(Extract(MakeCarrier(large, form)).payload, large);
    EXPECT_EQ(Extract(MakeCarrier(large, form), 65521).payload, large);
  }
}

// The way back lays the chain out as GIF does: full sub-blocks of 255 bytes,
// then one shorter, empty after a payload of whole 255-byte blocks, and only
// that one; every byte after the chain as the carrier had it. Each chain is
// written out here by its sub-blocks' lengths.
TEST(Container, WrittenChainsAroundMultiplesOf255) {
  const Bytes after = {0x00, 0x3B, 0x21, 0xFE, 0x01, 0x7A, 0x00};  // a terminator, a trailer, and bytes past it
  const struct {
    std::size_t size;
    std::vector<std::size_t> lengths;
  } cases[] = {
      {0, {0}}, {1, {1}}, {254, {254}}, {255, {255, 0}}, {256, {255, 1}}, {509, {255, 254}},
      {510, {255, 255, 0}}, {511, {255, 255, 1}}, {765, {255, 255, 255, 0}},
  };
  for (CarrierForm form : {CarrierForm::kImage, CarrierForm::kComment}) {
    for (const auto& test : cases) {
      SCOPED_TRACE(::testing::Message() << test.size << " bytes, " << (form == CarrierForm::kImage ? "image" : "comment"));
      const Bytes before = Sequence(test.size, 1), payload = Sequence(test.size, 100);
      std::vector<Bytes> blocks, oldBlocks;
      for (std::size_t at = 0; const std::size_t length : test.lengths) {
        blocks.emplace_back(payload.begin() + at, payload.begin() + at + length);
        oldBlocks.emplace_back(before.begin() + at, before.begin() + at + length);
        at += length;
      }
      MemoryPlatform os;
      os.files[NATIVE_TEXT("in.gif")] = Join({MakeRawCarrier(form, oldBlocks), after});
      const OpenedFile source = os.OpenForRead(NATIVE_TEXT("in.gif")).value;
      const FileHandle out = os.Create(NATIVE_TEXT("out.gif"));
      Bytes reading(100), writing(100);
      EXPECT_FALSE(WriteCarrier(os, source, form, payload.size(), payload, out, reading, writing));
      EXPECT_EQ(os.files[NATIVE_TEXT("out.gif")], Join({MakeRawCarrier(form, blocks), after}));
      EXPECT_EQ(Extract(os.files[NATIVE_TEXT("out.gif")]).payload, payload);
      EXPECT_FALSE(os.Close(out));
      EXPECT_FALSE(os.Close(source.handle));
    }
  }
}

}  // namespace
