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

Extracted Extract(std::span<const std::uint8_t> file, std::size_t maxTransfer = -1, Shape shape = Shape::kProbed) {
  MemoryPlatform files;
  files.files[NATIVE_TEXT("in.gif")] = Bytes(file.begin(), file.end());
  FaultyPlatform os(files);
  os.maxTransfer = maxTransfer;
  const FileHandle source = os.OpenForRead(NATIVE_TEXT("in.gif")).value.handle;
  BytesSink sink;
  CarrierForm form{-1};
  Bytes buffer(kTransferSize);
  const Status status = ExtractPayload(os, source, sink, &form, buffer, shape).status;
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

// Met in a folder, a file is taken for a carrier only where it is shaped like
// one, as GIF's own header defines it: no GIF signature, or one whose global
// colour table of two entries (flags 0x80, size 0) ends at byte 19; a
// carrier's block there; a chain whose data begin "BM". A GIF cut inside its
// header, or a carrier so shaped cut before its block, is cut short.
TEST(Container, AFileMetInAFolderIsACarrierOnlyByItsShape) {
  const auto gif = [](const char* signature, std::uint8_t flags, std::size_t tableEntries) {
    Bytes file(gif::kHeaderEnd + 3 * tableEntries);
    std::copy_n(signature, 6, file.begin());
    file[6] = file[8] = 1;
    file[gif::kScreenFlagsOffset] = flags;
    return file;
  };
  const auto then = [](Bytes file, Bytes rest) {
    file.insert(file.end(), rest.begin(), rest.end());
    return file;
  };
  const Bytes comment = {0x21, 0xFE, 4, 'B', 'M', 7, 7, 0}, image = {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 4, 'B', 'M', 7, 7, 0};
  const struct {
    const char* what;
    Bytes file;
    Status status;
  } cases[] = {
      {"a GIF89a header of two entries, a comment", then(gif("GIF89a", 0x80, 2), comment), Status::kOk},
      {"a GIF87a header of two entries, an image", then(gif("GIF87a", 0x80, 2), image), Status::kOk},
      {"no GIF header at all", then(Bytes(19, 'x'), comment), Status::kOk},
      {"a chain too short to tell", then(gif("GIF89a", 0x80, 2), {0x21, 0xFE, 1, 'B', 0}), Status::kOk},
      {"a table of 256 entries", then(gif("GIF89a", 0x87, 2), comment), Status::kUnsupported},
      {"no global table", then(gif("GIF89a", 0x00, 2), comment), Status::kUnsupported},
      {"a graphic control block first", then(gif("GIF89a", 0x80, 2), {0x21, 0xF9, 4, 0, 0, 0, 0, 0}), Status::kUnsupported},
      {"image data that is no bitmap", then(gif("GIF89a", 0x80, 2), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 1, 0}),
       Status::kUnsupported},
      {"a comment that is no bitmap", then(Bytes(19, 'x'), {0x21, 0xFE, 3, 'h', 'i', '!', 0}), Status::kUnsupported},
      {"a GIF cut inside its header", Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0}, Status::kCutShort},
      {"a carrier's header cut before its block", gif("GIF89a", 0x80, 1), Status::kCutShort},
      {"a carrier cut inside its bitmap's signature", then(gif("GIF89a", 0x80, 2), {0x21, 0xFE, 9, 'B'}), Status::kCutShort},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(Extract(test.file, -1, Shape::kShaped).status, test.status) << test.what;
    // Named, a file is taken for a carrier by the probe alone, as ever.
    if (test.status == Status::kOk) {
      EXPECT_EQ(Extract(test.file).status, Status::kOk) << test.what;
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
