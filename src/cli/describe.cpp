#include "describe.h"

#include "../os/system.h"
#include "texts.h"

namespace {

NativeString CompressionName(std::uint32_t compression) {
  switch (compression) {
    case bmp::kRle8: return NATIVE_TEXT("RLE8");
    case bmp::kRle4: return NATIVE_TEXT("RLE4");
    case bmp::kJpeg: return NATIVE_TEXT("JPEG");
    case bmp::kPng: return NATIVE_TEXT("PNG");
  }
  return Number(compression);
}


// A colour as editors write it: rrggbb in hexadecimal.
NativeString Hex(const Rgba& colour) {
  const std::string hex = HexOf(std::span(colour).first<3>());
  return NativeString(hex.begin(), hex.end());
}

// The BMP form a picture is in that is not read, in words.
NativeString UnsupportedBmp(const PictureProblem& problem) {
  switch (problem.bmp) {
    case BmpUnsupported::kTwoBit: return Say(Text::kPictureTwoBit);
    case BmpUnsupported::kSixtyFourBit: return Say(Text::kPicture64Bit);
    case BmpUnsupported::kOtherDepth: return Say(Text::kPictureBmpDepth, {Number(problem.depth)});
    case BmpUnsupported::kOs2Header: return Say(Text::kPictureOs2);
    case BmpUnsupported::kHuffman1D: return Say(Text::kPictureHuffman1D);
    case BmpUnsupported::kRle24: return Say(Text::kPictureRle24);
    case BmpUnsupported::kJpeg: return Say(Text::kPictureJpegInside);
    case BmpUnsupported::kPng: return Say(Text::kPicturePngInside);
    case BmpUnsupported::kCompression:
    case BmpUnsupported::kNone: break;
  }
  return Say(Text::kPictureCompression, {Number(problem.compression)});
}

// A size in MiB, to a tenth.
NativeString Mebibytes(std::uint64_t bytes) { return Decimal(static_cast<double>(bytes) / (1 << 20)); }

// Why a picture could not be read, in words: the system's reason, or what is wrong with the file.
NativeString PictureReason(const PictureProblem& problem) {
  switch (problem.kind) {
    case PictureProblem::Kind::kCannotOpen:
    case PictureProblem::Kind::kCannotRead:
      if (problem.cause.kind == SystemError::Kind::kNotAFile) return Say(Text::kNotAFile);
      return problem.cause.Said() ? ErrorText(problem.cause.code) : NativeString();
    case PictureProblem::Kind::kUnknownForm: return Say(Text::kPictureUnknown);
    case PictureProblem::Kind::kCutShort: return Say(Text::kPictureCutShort);
    case PictureProblem::Kind::kChecksum: return Say(Text::kPictureChecksum);
    case PictureProblem::Kind::kDamaged:
      return Say(Text::kPictureDamaged, {NativeString(problem.detail.begin(), problem.detail.end())});
    case PictureProblem::Kind::kChanged: return Say(Text::kPictureChanged);
    case PictureProblem::Kind::kUnsupported: return UnsupportedBmp(problem);
    case PictureProblem::Kind::kRowsTooLarge:
      return Say(Text::kPictureRowsTooLarge, {Mebibytes(problem.rowMemory), Mebibytes(problem.rowLimit)});
    case PictureProblem::Kind::kOutOfMemory: return Say(Text::kOutOfMemory);
    case PictureProblem::Kind::kWrongSize:
    case PictureProblem::Kind::kNone: break;
  }
  return {};
}

NativeString PictureTrouble(const PictureProblem& problem, const NativeString& picture) {
  const NativeString what = Say(Text::kCannotReadPicture, {picture}), reason = PictureReason(problem);
  return reason.empty() ? what : what + NATIVE_TEXT(": ") + reason;
}

}  // namespace

NativeString DepthText(const BitmapInfo& bitmap) {
  const BmpHeader& header = bitmap.header;
  const NativeString depth = Number(header.depth);
  if (header.Indexed()) return Say(Text::kDepthPalette, {depth, Number(static_cast<long long>(header.PaletteLength()))});
  if (!header.masksHeld) return Say(Text::kDepth, {depth});
  NativeString text = Say(Text::kDepth, {depth});
  constexpr int kByte = 8;
  if (header.ChannelBits(0) != kByte || header.ChannelBits(1) != kByte || header.ChannelBits(2) != kByte) {
    NativeString channels = Number(header.ChannelBits(0));
    for (std::size_t i = 1; i < 3; ++i) channels.append(1, '-').append(Number(header.ChannelBits(i)));
    text = Say(Text::kDepthChannels, {depth, channels});
  }
  return header.HasAlpha() ? Say(Text::kDepthAlpha, {text}) : text;
}

NativeString OutcomeProblem(const Entry& entry, const NativeChar* suffix) {
  const NativeString output = entry.base + suffix;
  const Error& error = entry.outcome.error;
  switch (error.status) {
    case Status::kOk: break;
    case Status::kBadExtension: return Say(Text::kNotGif);
    case Status::kOutOfMemory: return Say(Text::kOutOfMemory);
    case Status::kBusy: return Say(Text::kBusy);
    case Status::kRefused: return Say(Text::kRefused);  // the command tells why, where it can
    case Status::kCutShort: return Say(Text::kCutShort);
    case Status::kDamaged: return Say(Text::kDamaged);
    case Status::kUnsupported:
      if (error.step != Step::kOpenSource) return Say(Text::kNotCarrier);
      if (error.cause.kind == SystemError::Kind::kNotAFile) return Say(Text::kNotAFile);
      return Because(Say(Text::kCannotOpen), error.cause);
    case Status::kIoError:
      switch (error.step) {
        case Step::kCreateOutput: return Because(Say(Text::kCannotCreate, {entry.base + kStagingSuffix}), error.cause);
        case Step::kWriteOutput: return Because(Say(Text::kCannotWrite, {output}), error.cause);
        // The tool that asked for the backup names it.
        case Step::kKeepBackup:
        case Step::kReplaceOutput: return Because(Say(Text::kCannotReplace, {output}), error.cause);
        default: return Because(Say(Text::kCannotRead), error.cause);
      }
  }
  return {};
}

NativeString CanvasTrouble(Canvas::Trouble trouble, RleFault fault, const BitmapInfo& bitmap) {
  switch (trouble) {
    case Canvas::Trouble::kRleDamaged: {
      const std::string words = RleFaultWords(fault);
      return Say(Text::kRleDamaged, {NativeString(words.begin(), words.end())});
    }
    case Canvas::Trouble::kTooLarge: return Say(Text::kTooManyToDecode, {Grouped(static_cast<long long>(kMostCanvasPixels))});
    case Canvas::Trouble::kNoPixels:
    case Canvas::Trouble::kCutPalette:
    case Canvas::Trouble::kNone: break;
  }
  return BitmapTrouble(bitmap);
}

bool HasNoPixels(const BitmapInfo& bitmap) {
  return bitmap.form == BitmapForm::kRows && (bitmap.width == 0 || bitmap.height == 0);
}

NativeString BitmapTrouble(const BitmapInfo& bitmap) {
  if (HasNoPixels(bitmap)) return Say(Text::kNoPixels, {Number(bitmap.width), Number(bitmap.height)});
  switch (bitmap.form) {
    case BitmapForm::kCompressed: return Say(Text::kCompressedBitmap, {CompressionName(bitmap.header.compression)});
    case BitmapForm::kPlain: return Say(Text::kNoStandardHeader);
    case BitmapForm::kRows: break;
  }
  return Say(Text::kCutPalette);
}

NativeString Description(const Entry& entry) {
  const BitmapInfo& carrier = entry.outcome.bitmap;
  NativeString text =
      Say(Text::kChecked,
          {entry.source, Say(entry.outcome.form == CarrierForm::kImage ? Text::kImageData : Text::kComment),
           Number(static_cast<long long>(carrier.bytes))});
  if (carrier.hasFields) text += Say(Text::kCheckedSize, {Number(carrier.width), Number(carrier.height)});
  const NativeString depth = DepthText(carrier);
  switch (carrier.form) {
    case BitmapForm::kPlain: break;
    case BitmapForm::kRows:
      if (carrier.rowBytes == carrier.writtenRowBytes)
        text += Say(Text::kCheckedRows, {depth, Number(static_cast<long long>(carrier.rowBytes))});
      else
        text += Say(Text::kCheckedPaddedRows, {depth, Number(static_cast<long long>(carrier.rowBytes)),
                                               Number(static_cast<long long>(carrier.writtenRowBytes))});
      break;
    case BitmapForm::kCompressed: text += Say(Text::kCheckedCompressed, {CompressionName(carrier.header.compression)}); break;
  }
  return text;
}

NativeString RefusalProblem(const PackOutcome& outcome, const NativeString& picture) {
  const PatchResult& patch = outcome.patch;
  const BitmapInfo& bitmap = outcome.bitmap;
  const PixelTally& pixels = patch.pixels;
  switch (patch.refusal) {
    case Refusal::kPicture: return PictureTrouble(patch.picture, picture);
    case Refusal::kWrongSize:
      return Say(Text::kWrongSize, {picture, Number(patch.picture.width), Number(patch.picture.height),
                                    Number(patch.width), Number(patch.height)});
    case Refusal::kTooLarge:
      return Say(Text::kTooLargeToResize, {picture, Number(patch.picture.width), Number(patch.picture.height),
                                           Grouped(static_cast<long long>(kMostCanvasPixels)), Grouped(kMostCanvasSide)});
    case Refusal::kPaletteChanged:
      return Say(Text::kPaletteChanged, {picture, Number(static_cast<long long>(patch.paletteChanges.size()))});
    case Refusal::kPaletteTooLong:
      return Say(Text::kPaletteTooLong, {picture, Number(static_cast<long long>(patch.paletteEntries)),
                                         Number(static_cast<long long>(bitmap.header.PaletteLength()))});
    case Refusal::kTransparent:
    case Refusal::kOffPalette:
      return Say(patch.refusal == Refusal::kTransparent ? Text::kTransparent : Text::kOffPalette,
                 {Number(static_cast<long long>(pixels.count)), picture, Number(pixels.x), Number(pixels.y),
                  DepthText(bitmap)});
    case Refusal::kCarrierChanged: return Say(Text::kCarrierChanged);
    case Refusal::kTwoEdits: return Say(Text::kTwoEdits, {picture, outcome.other});
    case Refusal::kNoPicture: return Say(Text::kNoPicture, {picture, outcome.other});
    case Refusal::kNotStorable:
    case Refusal::kNone: break;
  }
  return Say(Text::kCannotStoreBack, {CanvasTrouble(patch.trouble, patch.fault, bitmap)});
}

std::vector<NativeString> OffColourLines(const PatchResult& patch) {
  std::vector<NativeString> lines;
  for (const OffColour& off : patch.offColours)
    lines.push_back(Say(Text::kOffColour, {Hex(off.colour), Number(static_cast<long long>(off.pixels)),
                                           Number(off.nearest), Hex(off.nearestColour), Decimal(off.deltaE)}));
  return lines;
}

std::vector<NativeString> PaletteLines(const PatchResult& patch) {
  std::vector<NativeString> lines;
  for (const PaletteChange& change : patch.paletteChanges)
    lines.push_back(Say(Text::kPaletteEntry, {Number(change.index), Hex(change.from), Hex(change.to)}));
  return lines;
}

NativeString EntryList(const EntrySet& entries) {
  NativeString list;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i] || (i > 0 && entries[i - 1])) continue;
    std::size_t last = i;
    while (last + 1 < entries.size() && entries[last + 1]) ++last;
    if (!list.empty()) list += NATIVE_TEXT(", ");
    list += Number(static_cast<long long>(i));
    if (last > i) list += NATIVE_TEXT("-") + Number(static_cast<long long>(last));
  }
  return list;
}

std::vector<NativeString> FarColourLines(const PatchResult& patch, const NativeString& carrier,
                                         const NativeString& picture) {
  if (patch.farColourCount == 0) return {};
  std::vector<NativeString> lines{Say(Text::kFarColours, {carrier, picture, Number(static_cast<long long>(patch.farColourCount)),
                                                          Number(static_cast<long long>(kVisibleDeltaE))})};
  for (const OffColour& far : patch.farColours)
    lines.push_back(Say(Text::kFarColour, {Hex(far.colour), Number(static_cast<long long>(far.pixels)),
                                           Number(far.nearest), Hex(far.nearestColour), Decimal(far.deltaE)}));
  return lines;
}

namespace {

// What an output that holds work shows, in words: another picture, or no picture and why.
NativeString WorkShown(const Judged& judged) {
  if (judged.standing == Standing::kNoPicture) return Say(Text::kNoPictureShown, {PictureReason(judged.patch.picture)});
  return Say(Text::kEditShown);
}

}  // namespace

NativeString KeptLine(const Judged& judged, const NativeString& output) {
  return Say(Text::kKept, {output, WorkShown(judged)});
}

NativeString ReplacedLine(const Judged& judged, const NativeString& output, const NativeString& backup, bool checkOnly) {
  NativeString line = Say(checkOnly ? Text::kWouldReplace : Text::kReplaced, {output, WorkShown(judged)});
  return backup.empty() ? line : line + Say(Text::kBackupNote, {backup});
}

NativeString UnreadableProblem(const PictureProblem& problem, const NativeString& path) {
  return PictureTrouble(problem, path);
}
