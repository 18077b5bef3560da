#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "../src/convert/file_io.h"
#include "../src/notices.h"
#include "../src/picture/conversion.h"
#include "../src/picture/pack.h"
#include "../src/picture/picture_file.h"
#include "memory_platform.h"
#include "support.h"

namespace {

class ConvertingOneFile : public ::testing::Test {
 protected:
  // Writes a carrier of a padded 24-bit bitmap as `name`; returns the bytes
  // its conversion must produce.
  Bytes PutCarrier(const fs::path& name, CarrierForm form = CarrierForm::kImage) {
    const Bytes bmp = MakeBitmap(13, 9, 42);
    WriteFileBytes(dir / name, MakeCarrier(bmp, form));
    return ExpectedOutput(bmp);
  }

  Status Convert(const fs::path& path) { return DropFile(os, path.native(), &notices).error.status; }

  void ExpectOneNotice(const fs::path& path, Status status) {
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], Notice(path, status));
  }

  TempDir dir;
  NativePlatform native;
  FaultyPlatform os{native};
  std::vector<NativeString> notices;
};

TEST_F(ConvertingOneFile, WritesTheBitmapBesideTheSourceAndRemovesTheStaging) {
  const Bytes expected = PutCarrier("title.gif");
  const Bytes upper = PutCarrier("LOGO.GIF", CarrierForm::kComment);
  const Bytes source = ReadFileBytes(dir / "title.gif");
  WriteFileBytes(dir / "title.gif.bmp", SamePictureOtherBytes(expected));  // replaced
  WriteFileBytes(dir / "title.gif.temp", Bytes(3, 2));  // replaced, then removed

  EXPECT_EQ(Convert(dir / "title.gif"), Status::kOk);
  EXPECT_EQ(Convert(dir / "LOGO.GIF"), Status::kOk);
  EXPECT_TRUE(notices.empty());
  EXPECT_EQ(ReadFileBytes(dir / "title.gif.bmp"), expected);
  EXPECT_EQ(ReadFileBytes(dir / "LOGO.GIF.bmp"), upper);
  EXPECT_EQ(ReadFileBytes(dir / "title.gif"), source);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"LOGO.GIF", "LOGO.GIF.bmp", "title.gif",
                                                  "title.gif.bmp"}));
}

// An earlier output that shows another picture than the carrier, or is no
// picture, may be an edit: the window keeps it and says so, naming it.
TEST_F(ConvertingOneFile, AnEditedOutputIsKeptAndNamed) {
  const Bytes expected = PutCarrier("title.gif");
  Bytes edited = expected;
  edited[bmp::kHeadersEnd] ^= 0xFF;  // the first pixel's blue
  for (const Bytes& earlier : {edited, Bytes(3, 1)}) {
    WriteFileBytes(dir / "title.gif.bmp", earlier);
    notices.clear();
    EXPECT_EQ(Convert(dir / "title.gif"), Status::kOk);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], NATIVE_TEXT("ファイル：") + (dir / "title.gif.bmp").native() + NATIVE_TEXT("\n") + notice::kKeptEdit);
    EXPECT_EQ(ReadFileBytes(dir / "title.gif.bmp"), earlier);
  }
}

TEST_F(ConvertingOneFile, RefusedExtensionsTouchNothing) {
  fs::create_directory(dir / "res.gif");
  for (const char* name : {"title.Gif", "title.gif.bak", "title", "res.gif/title", "x.png", "title.gif/"}) {
    if (fs::path(name).has_filename()) PutCarrier(name);
  }
  const auto before = dir.List();
  for (const char* name : {"title.Gif", "title.gif.bak", "title", "res.gif/title", "x.png", "title.gif/"}) {
    notices.clear();
    EXPECT_EQ(Convert(dir / name), Status::kBadExtension) << name;
    ExpectOneNotice(dir / name, Status::kBadExtension);
  }
  EXPECT_EQ(dir.List(), before);
  EXPECT_EQ(os.Calls(Op::kCreateStaging), 0);
  EXPECT_EQ(os.Calls(Op::kDelete), 0);
}

TEST_F(ConvertingOneFile, NoticeTextsAreExact) {
  Convert(dir / "x.png");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], NATIVE_TEXT("ファイル：") + (dir / "x.png").native() +
                               NATIVE_TEXT("\n拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。"));
  EXPECT_EQ(NativeString(MessageText(Status::kUnsupported)), NATIVE_TEXT("このファイルは対応フォーマットではありません。"));
  EXPECT_EQ(NativeString(MessageText(Status::kIoError)), NATIVE_TEXT("ファイルの読み書きに失敗しました。"));
  EXPECT_EQ(NativeString(MessageText(Status::kOutOfMemory)), NATIVE_TEXT("メモリが不足しています。"));
  EXPECT_EQ(NativeString(MessageText(Status::kBusy)), NATIVE_TEXT("このファイルは別のプロセスが変換中です。"));
  EXPECT_EQ(NativeString(MessageText(Status::kRefused)), NATIVE_TEXT("このファイルの画像は書き出せません。"));
  EXPECT_EQ(MessageText(Status::kOk), nullptr);
}

TEST_F(ConvertingOneFile, UnsupportedSourcesLeaveNoOutputAndNoStaging) {
  WriteFileBytes(dir / "bad.gif", Bytes(64, 0x3B));
  WriteFileBytes(dir / "bad.gif.temp", Bytes(3, 2));  // a file of the staging name goes too
  Bytes cut = MakeCarrier(MakeBitmap(4, 4, 1), CarrierForm::kComment);
  cut.resize(cut.size() / 2);
  WriteFileBytes(dir / "cut.gif", cut);
  Bytes wide = MakeBitmap(4, 4, 1);
  PutInt32(wide, bmp::kWidth, 400);  // rows run past the payload
  WriteFileBytes(dir / "wide.gif", MakeCarrier(wide, CarrierForm::kImage));
  fs::create_directory(dir / "folder.gif");

  const std::pair<const char*, Status> sources[] = {{"bad.gif", Status::kUnsupported}, {"cut.gif", Status::kCutShort},
                                                    {"wide.gif", Status::kDamaged}, {"folder.gif", Status::kUnsupported},
                                                    {"missing.gif", Status::kUnsupported}};
  for (const auto& [name, status] : sources) {
    notices.clear();
    EXPECT_EQ(Convert(dir / name), status) << name;
    ExpectOneNotice(dir / name, status);
  }
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"bad.gif", "cut.gif", "folder.gif", "wide.gif"}));
}

TEST_F(ConvertingOneFile, EmptyChainGivesAnEmptyBitmap) {
  WriteFileBytes(dir / "empty.gif", MakeRawCarrier(CarrierForm::kComment, std::vector<Bytes>{{}}));
  EXPECT_EQ(Convert(dir / "empty.gif"), Status::kOk);
  EXPECT_TRUE(ReadFileBytes(dir / "empty.gif.bmp").empty());
}

TEST_F(ConvertingOneFile, ADirectoryInTheWayIsAReadWriteFailure) {
  PutCarrier("a.gif");
  fs::create_directory(dir / "a.gif.bmp");
  PutCarrier("b.gif");
  fs::create_directory(dir / "b.gif.temp");
  EXPECT_EQ(Convert(dir / "a.gif"), Status::kIoError);
  EXPECT_EQ(Convert(dir / "b.gif"), Status::kIoError);
  EXPECT_EQ(notices, (std::vector{Notice(dir / "a.gif", Status::kIoError),
                                     Notice(dir / "b.gif", Status::kIoError)}));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.gif", "a.gif.bmp", "b.gif", "b.gif.temp"}));
  EXPECT_TRUE(fs::is_empty(dir / "a.gif.bmp"));
}

// Each call the job makes fails in turn, over inputs that take each path
// through it, with an earlier output in place; then reads and writes move
// only a few bytes at a time. PNG output goes through the same, and packs: a
// carrier with a picture beside it is packed in place, kept first as a
// simple backup over an earlier one or as a new numbered one; it keeps its
// bytes whenever the pack fails, and its backup is the earlier one or
// complete.
TEST(ConvertingInMemory, EveryFailingCallGivesOneNoticeAndKeepsTheEarlierOutput) {
  const Bytes bmp = MakeBitmap(13, 9, 42);
  const Bytes large = MakeBitmap(300, 300, 7);  // more than a buffer holds
  Bytes wide = MakeBitmap(4, 4, 1), largeWide = large;
  PutInt32(wide, bmp::kWidth, 400);  // rows run past the payload
  PutInt32(largeWide, bmp::kWidth, 301);  // the same, in a payload written a block at a time
  // Packed rows under sizes stated for padded ones, which the source's size
  // cannot tell apart from padded rows until the payload has ended.
  Bytes packed = MakeStandardBitmap({.width = 301, .height = 300, .packed = true}, 8);
  PutInt32(packed, bmp::kImageSize, 300 * 904);
  Bytes packedCarrier = MakeCarrier(packed, CarrierForm::kImage);
  packedCarrier.resize(packedCarrier.size() + 1000);
  // Rows without padding, so that a picture of other pixels gives the other carrier whole.
  const auto carrierOf = [](std::int32_t width, std::int32_t height, std::uint32_t seed) {
    return MakeCarrier(MakeBitmap(width, height, seed), CarrierForm::kImage);
  };
  const Bytes rle = MakeStandardBitmap({.width = 6, .height = 2, .depth = 8, .compression = bmp::kRle8}, 3);
  // 32-bit bitmaps whose headers name an alpha mask: with alpha, and an
  // editor's BMP of another, the same pixel bytes, in the BMP's row order,
  // under a 40-byte header without masks, each fourth byte alpha, none 0; and
  // over uncompressed pixels, which the converter leaves unused, so that
  // the BMP of another goes back as its colours, each fourth byte kept.
  const auto masked = [](std::uint32_t seed, std::uint32_t compression, std::uint32_t infoSize) {
    Bytes bitmap = MakeStandardBitmap({.width = 12, .height = 9, .depth = 32, .compression = compression,
                                       .infoSize = infoSize}, seed);
    const std::uint32_t masks[] = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    for (std::size_t i = 0; i < 4; ++i) bmp::PutU32(bitmap, bmp::kMasks + 4 * i, masks[i]);
    return bitmap;
  };
  const auto argb = [&](std::uint32_t seed) {
    Bytes bitmap = masked(seed, bmp::kBitfields, 124);
    for (std::size_t i = bmp::kHeadersMax + 3; i < bitmap.size(); i += 4) bitmap[i] |= 1;
    return bitmap;
  };
  const Bytes namedOld = masked(1, bmp::kRgb, 56), namedNew = masked(2, bmp::kRgb, 56);
  Bytes namedKept = namedNew;
  for (std::size_t i = bmp::kFileHeaderSize + 56 + 3; i < namedKept.size(); i += 4) namedKept[i] = namedOld[i];
  // A palette bitmap wider than a piece the reader takes, and an RLE8
  // picture of another's indices on its palette: each index a run of its
  // own, a jump over each 0, and a line ended where the rest of it is 0.
  const auto wideIndexed = [](std::uint32_t seed) {
    return MakeStandardBitmap({.width = 5000, .height = 2, .depth = 8, .between = 1024}, seed);
  };
  const Bytes wideOld = wideIndexed(1);
  Bytes wideNew = wideIndexed(2);
  constexpr std::size_t kWideRows = 54 + 1024, kWideRow = 5000, kWideEnd = 3000;
  std::fill(wideNew.begin() + kWideRows + kWideRow + kWideEnd, wideNew.end(), 0);
  Bytes widePacked = wideOld, wideRle(wideOld.begin(), wideOld.begin() + kWideRows);
  std::copy(wideNew.begin() + kWideRows, wideNew.end(), widePacked.begin() + kWideRows);
  for (std::size_t r : {1, 0}) {  // the BMP's bottom row is the payload's last
    for (std::size_t x = 0; x < (r ? kWideEnd : kWideRow); ++x) {
      const std::uint8_t index = wideNew[kWideRows + r * kWideRow + x];
      if (index) wideRle.insert(wideRle.end(), {1, index});
      else wideRle.insert(wideRle.end(), {0, 2, 1, 0});
    }
    wideRle.insert(wideRle.end(), {0, static_cast<std::uint8_t>(r == 0)});
  }
  PutInt32(wideRle, bmp::kCompression, static_cast<std::int32_t>(bmp::kRle8));
  PutInt32(wideRle, bmp::kImageSize, static_cast<std::int32_t>(wideRle.size() - kWideRows));
  PutInt32(wideRle, bmp::kFileSize, static_cast<std::int32_t>(wideRle.size()));
  const Bytes argbNew = argb(2), argbRows = ExpectedOutput(argbNew);
  Bytes argbPicture = MakeBitmapHeader({.width = 12, .height = 9, .depth = 32}, 4);
  argbPicture.insert(argbPicture.end(), argbRows.begin() + bmp::kHeadersMax, argbRows.end());
  const struct {
    const char* name;
    Bytes file;
    Status status;
    Bytes output;
    Bytes picture = {};  // packed into the source, which `output` then is
    bool png = false;    // written as PNG, the same in every run that succeeds
    bool numbered = false;  // a pack's backup is a numbered one, else a simple one
  } inputs[] = {
      {"image.gif", MakeCarrier(bmp, CarrierForm::kImage), Status::kOk, ExpectedOutput(bmp)},
      {"comment.gif", MakeCarrier(bmp, CarrierForm::kComment), Status::kOk, ExpectedOutput(bmp)},
      {"empty.gif", MakeRawCarrier(CarrierForm::kComment, std::vector<Bytes>{{}}), Status::kOk, {}},
      {"large.GIF", MakeCarrier(large, CarrierForm::kImage), Status::kOk, ExpectedOutput(large)},
      {"packed.gif", packedCarrier, Status::kOk, ExpectedOutput(packed)},
      {"wide.gif", MakeCarrier(wide, CarrierForm::kComment), Status::kDamaged, {}},
      {"large-wide.gif", MakeCarrier(largeWide, CarrierForm::kComment), Status::kDamaged, {}},
      {"other.gif", Bytes(64, 0x3B), Status::kUnsupported, {}},
      {"image.png", MakeCarrier(bmp, CarrierForm::kImage), Status::kBadExtension, {}},
      {"pack.gif", carrierOf(12, 9, 1), Status::kOk, carrierOf(12, 9, 2), ExpectedOutput(MakeBitmap(12, 9, 2))},
      {"pack-large.gif", carrierOf(300, 300, 1), Status::kOk, carrierOf(300, 300, 2),
       ExpectedOutput(MakeBitmap(300, 300, 2)), false, true},
      {"pack-rle.gif", MakeCarrier(rle, CarrierForm::kComment), Status::kOk, MakeCarrier(rle, CarrierForm::kComment), rle},
      {"pack-alpha.gif", MakeCarrier(argb(1), CarrierForm::kImage), Status::kOk, MakeCarrier(argbNew, CarrierForm::kImage),
       argbPicture},
      {"pack-named-alpha.gif", MakeCarrier(namedOld, CarrierForm::kImage), Status::kOk,
       MakeCarrier(namedKept, CarrierForm::kImage), ExpectedOutput(namedNew)},
      {"pack-rle-wide.gif", MakeCarrier(wideOld, CarrierForm::kComment), Status::kOk,
       MakeCarrier(widePacked, CarrierForm::kComment), wideRle},
      {"png.gif", MakeCarrier(bmp, CarrierForm::kImage), Status::kOk, {}, {}, true},
      {"png-large.gif", MakeCarrier(large, CarrierForm::kComment), Status::kOk, {}, {}, true},
  };
  const Bytes junk(5, 'E'), earlierBackup(4, 'B');

  int faults = 0, trickles = 0;
  for (const auto& input : inputs) {
    const NativeString path = fs::path(input.name).native();
    const NativeString picture = path + NATIVE_TEXT(".bmp");
    const bool packs = !input.picture.empty();
    const NativeString output = packs ? path : input.png ? path + NATIVE_TEXT(".png") : picture;
    Bytes want = input.output;
    const NativeString staging = path + NATIVE_TEXT(".temp");
    // A pack keeps the carrier as NAME~ over an earlier one, or as NAME.~2~ beside NAME.~1~.
    const NativeString backup = path + (input.numbered ? NATIVE_TEXT(".~2~") : NATIVE_TEXT("~"));
    const NativeString earlierName = input.numbered ? path + NATIVE_TEXT(".~1~") : backup;
    // The files a run starts from: the source, and the picture to pack and
    // an earlier backup, or an earlier output: the same picture in other
    // bytes, which the window replaces, or where there is no picture, a file
    // that is none, which a PNG conversion is told to replace.
    const Bytes earlier = input.status == Status::kOk && !input.png && !input.output.empty()
                              ? SamePictureOtherBytes(input.output) : junk;
    const auto filesAtStart = [&](bool withEarlier) {
      std::map<NativeString, Bytes> files{{path, input.file}};
      if (packs) files[picture] = input.picture, files[earlierName] = earlierBackup;
      else if (withEarlier && (input.png || earlier != junk || input.status != Status::kOk)) files[output] = earlier;
      return files;
    };
    // A failing pack gives its error and leaves the carrier as it was; which
    // error depends on whose file the call was on. One that must succeed does.
    const auto expectPack = [&](FaultyPlatform& os, MemoryPlatform& mem, Status status, bool stagingLeft) {
      Workspace workspace;
      ASSERT_TRUE(workspace.Ready());
      const PackOutcome outcome = PackCarrier(
          os, {.carrier = path, .output = path, .pictures = {picture}, .inPlace = true, .backup = {backup, input.numbered}},
          workspace);
      if (status == Status::kOk) {
        EXPECT_EQ(outcome.error.status, Status::kOk) << static_cast<int>(outcome.patch.refusal);
      }
      EXPECT_EQ(mem.files.at(path), outcome.error ? input.file : input.output);
      EXPECT_EQ(mem.files.at(picture), input.picture);
      // An unchanged carrier is not replaced, so it is not kept either; one
      // that failed to take its new name was kept just before.
      const bool kept = (!outcome.error && input.output != input.file) || outcome.error.step == Step::kReplaceOutput;
      EXPECT_EQ(outcome.backup, kept ? backup : NativeString());
      EXPECT_EQ(mem.files.at(earlierName), input.numbered || !kept ? earlierBackup : input.file);
      if (input.numbered) {
        EXPECT_EQ(mem.files.contains(backup) ? mem.files.at(backup) : Bytes(), kept ? input.file : Bytes());
      }
      EXPECT_EQ(mem.files.contains(staging), stagingLeft);
    };
    // A failing read of the carrier, or of the output that stands there judged, is one failure or the other.
    const auto expectOutcome = [&](FaultyPlatform& os, MemoryPlatform& mem, Status status, bool stagingLeft,
                                   Step step, bool closing = false) {
      if (packs) {
        expectPack(os, mem, status, stagingLeft);
      } else {
        const bool hadOutput = mem.files.contains(output);
        std::vector<NativeString> notices;
        Workspace workspace;
        ASSERT_TRUE(workspace.Ready());
        // An earlier output that is no picture is replaced, as --force asks.
        const Outcome outcome = input.png ? ConvertCarrier(os, {path, path, true, true}, workspace).outcome
                                          : DropFile(os, path, &notices);
        const bool outputRead = outcome.error.step == Step::kReadOutput && (step == Step::kOpenSource ||
                                                                          step == Step::kReadSource);
        // A close that failed is a failure of the file that matters: the carrier's or the output's.
        if (closing && outcome.error.status != status) {
          EXPECT_EQ(outcome.error.status, Status::kIoError);
          status = Status::kIoError;
          step = outcome.error.step == Step::kReadSource ? Step::kReadSource : Step::kWriteOutput;
        }
        EXPECT_EQ(outcome.error.status, outputRead ? Status::kIoError : status);
        if (step != Step::kNone) {
          EXPECT_EQ(outcome.error.step, outputRead ? Step::kReadOutput : step);
          EXPECT_EQ(outcome.error.cause, SystemError::System(kInjectedError));
        }
        if (!input.png) {
          EXPECT_EQ(notices, !outcome.error ? std::vector<NativeString>{} : std::vector{Notice(path, outcome.error.status)});
        }
        EXPECT_EQ(mem.files.at(path), input.file);
        if (status == Status::kOk) {
          if (want.empty() && input.png) want = mem.files.at(output);
          EXPECT_EQ(mem.files.at(output), want);
        } else if (hadOutput) {
          EXPECT_EQ(mem.files.at(output), earlier);
        } else {
          EXPECT_FALSE(mem.files.contains(output));
        }
        EXPECT_EQ(mem.files.contains(staging), stagingLeft);
      }
      EXPECT_EQ(mem.OpenCount(), 0);
    };
    SCOPED_TRACE(input.name);
    MemoryPlatform counted;
    counted.files = filesAtStart(true);
    FaultyPlatform counter(counted);
    expectOutcome(counter, counted, input.status, false, Step::kNone);

    for (int op = 0; op < kOpCount; ++op) {
      for (int index = 0; index < counter.Calls(static_cast<Op>(op)); ++index, ++faults) {
        // The outcome, and for a failure of the call itself, the step it names.
        Status status = Status::kIoError;
        Step step = Step::kNone;
        switch (static_cast<Op>(op)) {
          case Op::kAbsolutePath:
          case Op::kOpenForRead: status = Status::kUnsupported, step = Step::kOpenSource; break;
          case Op::kFileSize:
          case Op::kStamp: step = Step::kReadSource; break;
          case Op::kCopyPermissions: step = Step::kWriteOutput; break;
          case Op::kCreateStaging: step = Step::kCreateOutput; break;
          case Op::kReadAt: step = Step::kReadSource; break;
          case Op::kWriteAt: step = Step::kWriteOutput; break;
          case Op::kKeepBackup: step = Step::kKeepBackup; break;
          case Op::kCopyFileTo: step = Step::kReplaceOutput; break;
          case Op::kReplace: step = Step::kReplaceOutput; break;
          // Past a refusal, a failed close or removal adds no notice of its
          // own; nor does a failed close of a file only looked at.
          case Op::kClose: status = packs ? Status::kIoError : input.status; break;
          case Op::kDelete: status = input.status; break;
        }
        SCOPED_TRACE(::testing::Message() << "operation " << op << " call " << index);
        MemoryPlatform mem;
        mem.files = filesAtStart(true);
        FaultyPlatform faulty(mem);
        faulty.FailCall(static_cast<Op>(op), index);
        expectOutcome(faulty, mem, status, op == static_cast<int>(Op::kDelete), step, op == static_cast<int>(Op::kClose));
      }
    }
    for (std::size_t transfer : {1, 2, 5, 4093}) {
      // Byte-sized transfers on the large inputs would only repeat the small ones, slowly.
      if (transfer < 16 && input.file.size() > kTransferSize) continue;
      SCOPED_TRACE(::testing::Message() << "transfer " << transfer);
      MemoryPlatform mem;
      mem.files = filesAtStart(false);
      FaultyPlatform trickle(mem);
      trickle.maxTransfer = transfer;
      expectOutcome(trickle, mem, input.status, false, Step::kNone);
      ++trickles;
    }
  }
  EXPECT_GE(faults, 50);
  RecordProperty("fault_cases", faults);
  std::printf("fault cases: %d, short-transfer runs: %d\n", faults, trickles);
}

TEST_F(ConvertingOneFile, ARowWiderThanTheWriteBufferConverts) {
  const Bytes bmp = MakeBitmap(90000, 3, 9);  // 270,000-byte rows
  WriteFileBytes(dir / "wide.gif", MakeCarrier(bmp, CarrierForm::kComment));
  EXPECT_EQ(Convert(dir / "wide.gif"), Status::kOk);
  EXPECT_EQ(ReadFileBytes(dir / "wide.gif.bmp"), ExpectedOutput(bmp));
}

TEST_F(ConvertingOneFile, LongPathsConvert) {
  fs::path deep = dir.path();
  for (int i = 0; i < 8; ++i) deep /= std::string(60, static_cast<char>('a' + i));
  fs::create_directories(deep);
  const fs::path name = deep / (std::string(100, 'n') + ".gif");
  ASSERT_GT(name.native().size(), 600u);
  const Bytes bmp = MakeBitmap(3, 3, 3);
  WriteFileBytes(name, MakeCarrier(bmp, CarrierForm::kImage));
  EXPECT_EQ(Convert(name), Status::kOk);
  EXPECT_EQ(ReadFileBytes(name.native() + NATIVE_TEXT(".bmp")), ExpectedOutput(bmp));
}

#ifndef _WIN32
TEST_F(ConvertingOneFile, LinksAtTheStagingAndOutputNamesAreReplacedNotFollowed) {
  const Bytes expected = PutCarrier("a.gif");
  WriteFileBytes(dir / "victim1", Bytes(5, 1));
  WriteFileBytes(dir / "victim2", SamePictureOtherBytes(expected));
  fs::create_symlink(dir / "victim1", dir / "a.gif.temp");
  fs::create_symlink(dir / "victim2", dir / "a.gif.bmp");
  EXPECT_EQ(Convert(dir / "a.gif"), Status::kOk);
  EXPECT_EQ(ReadFileBytes(dir / "victim1"), Bytes(5, 1));
  EXPECT_EQ(ReadFileBytes(dir / "victim2"), SamePictureOtherBytes(expected));
  EXPECT_FALSE(fs::is_symlink(dir / "a.gif.bmp"));
  EXPECT_EQ(ReadFileBytes(dir / "a.gif.bmp"), expected);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "a.gif.temp")));
}
#endif

// A picture another program changes while it is read is refused, cut short
// under the reading or rewritten whole, so that no half-read one is packed.
TEST_F(ConvertingOneFile, APictureThatChangesWhileItIsReadIsRefused) {
  const fs::path path = dir / "picture.bmp";
  Bytes buffer(64), read(1000);
  for (const bool cut : {true, false}) {
    SCOPED_TRACE(cut ? "cut" : "rewritten");
    WriteFileBytes(path, Bytes(1000, 1));
    PictureFile file(os, buffer);
    ASSERT_FALSE(file.Open(path.native()));
    ASSERT_FALSE(file.Read(read.data(), 100));
    if (cut) {
      fs::resize_file(path, 500);
    } else {
      WriteFileBytes(path, Bytes(1000, 2));
      fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(5));
    }
    const PictureProblem problem = file.Read(read.data() + 100, 900);
    EXPECT_EQ((problem ? problem : file.Finish()).kind, PictureProblem::Kind::kChanged);
  }
}

// A numbered backup name another program took between the count and the
// keeping is passed over for the next, as GNU's tools pass it.
TEST(Backups, ANumberedNameTakenMeanwhileGivesTheNext) {
  MemoryPlatform os;
  os.files[NATIVE_TEXT("x.gif")] = Bytes(3, 1);
  os.files[NATIVE_TEXT("x.gif.~9~")] = Bytes(3, 2);
  StagedOutput out(os);
  ASSERT_FALSE(out.Create(NATIVE_TEXT("x.gif.temp"), NATIVE_TEXT("x.gif")));
  NativeString kept;
  EXPECT_FALSE(out.Commit({NATIVE_TEXT("x.gif.~9~"), true}, &kept));
  EXPECT_EQ(kept, NATIVE_TEXT("x.gif.~10~"));
  EXPECT_EQ(os.files.at(NATIVE_TEXT("x.gif.~10~")), Bytes(3, 1));
  EXPECT_EQ(os.files.at(NATIVE_TEXT("x.gif.~9~")), Bytes(3, 2));
}

TEST(Memory, ImpossibleSizesAreRefused) {
  EXPECT_EQ(AllocateBytes(~std::uint64_t{0}), nullptr);
}

}  // namespace
