// Every text the command-line tools print about their work, in English and in
// Japanese, the Japanese taken from the window's notices wherever one fits.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "../native.h"

enum class Text {
  kNotGif,
  kFolder,
  kFolderToPack,
  kPictureNamed,
  kNotCarrier,
  kCutShort,
  kDamaged,
  kOutOfMemory,
  kBusy,
  kRefused,
  kCannotRead,
  kCannotOpen,
  kNotAFile,
  kCannotCreate,
  kCannotWrite,
  kCannotReplace,
  kCannotCreateFolder,
  kCannotReadFolder,
  kWrittenTwice,
  kReplacesSource,
  kSummary,
  kSummaryChecked,
  kSkipped,
  kSkippedFile,
  kNoCarrierFile,
  kNotCarriers,
  kStagingLeft,
  kBackupLeft,
  kNotStarted,
  kOtherSkipped,
  kConverted,
  kChecked,
  kCheckedSize,
  kCheckedRows,
  kCheckedPaddedRows,
  kCheckedCompressed,
  kDepth,
  kDepthPalette,
  kDepthChannels,
  kDepthAlpha,
  kImageData,
  kComment,
  kUnknownOption,
  kNeedsValue,
  kBadValue,
  kNoFile,
  kCannotWriteOutput,
  kCompressedBitmap,
  kNoStandardHeader,
  kCutPalette,
  kCannotWritePng,
  kNoPixels,
  kWrittenAsBmp,
  kCannotStoreBack,
  kNoPicture,
  kCannotReadPicture,
  kPictureCutShort,
  kPictureChecksum,
  kPictureUnknown,
  kPictureTwoBit,
  kPicture64Bit,
  kPictureBmpDepth,
  kPictureOs2,
  kPictureHuffman1D,
  kPictureRle24,
  kPictureJpegInside,
  kPicturePngInside,
  kPictureCompression,
  kPictureRowsTooLarge,
  kPictureDamaged,
  kPictureChanged,
  kCarrierChanged,
  kWrongSize,
  kTransparent,
  kOffPalette,
  kOffColour,
  kPacked,
  kPackedMapped,
  kUnchanged,
  kUnchangedHeld,
  kInLineNote,
  kCannotBringInLine,
  kOtherNotCarriers,
  kCopied,
  kWouldCopy,
  kCannotCopy,
  kSummaryCopied,
  kSummaryWouldCopy,
  kPackSummary,
  kPackSummaryChecked,
  kSummaryMapped,
  kTwoEdits,
  kKept,
  kEditShown,
  kNoPictureShown,
  kReplaced,
  kWouldReplace,
  kSummaryKept,
  kSummaryReplaced,
  kSummaryWouldReplace,
  kNoPictureBeside,
  kNoPictureFrom,
  kFarColours,
  kFarColour,
  kSummaryFar,
  kCatalogueLanguage,
  kCatalogueTitle,
  kCatalogueBytes,
  kCatalogueMade,
  kCatalogueChecked,
  kCatalogueName,
  kCatalogueForm,
  kCatalogueAll,
  kCatalogueZoom,
  kCatalogueBackground,
  kCatalogueBlack,
  kCatalogueWhite,
  kCatalogueChecks,
  kCatalogueShown,
  kCatalogueSize,
  kCatalogueCarrierBytes,
  kCatalogueRowsPacked,
  kCatalogueRowsPadded,
  kCataloguePalette,
  kCataloguePaletteGroup,
  kCatalogueFailed,
  kCatalogueNoPicture,
  kCatalogueNotOurs,
  kBackupNote,
  kBackupStays,
  kCannotBackUp,
  kCannotListBackups,
  kAmbiguousValue,
  kBackupControls,
  kBadSuffix,
  kCount,  // how many there are
};

// `what` failed, and the system's reason where there is one.
NativeString Because(const NativeString& what, const SystemError& error);

// Japanese from now on, when `japanese`; English until then.
void UseJapanese(bool japanese);

// The text in the language in use, each "{}" replaced by the next of
// `values` and each "{N}" by the one N places from the first.
NativeString Say(Text text, std::initializer_list<NativeString> values = {});

// A number in the tools' texts, one with its thousands grouped ("1,581"),
// and one with a decimal.
NativeString Number(long long value);
NativeString Grouped(long long value);
NativeString Decimal(double value);

// Bytes in lower-case hexadecimal, two digits each, as sha256sum writes a
// digest and editors a colour.
std::string HexOf(std::span<const std::uint8_t> bytes);
