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
  kStagingLeft,
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
  kPackSummary,
  kPackSummaryChecked,
  kSummaryMapped,
  kTwoEdits,
  kKeptEdit,
  kKeptUnreadable,
  kSummaryKept,
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
  kCatalogueInterrupted,
  kCatalogueFilter,
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
  kCataloguePaletteEntry,
  kCataloguePaletteGroup,
  kCatalogueFailed,
  kCatalogueNoPicture,
  kCatalogueEdited,
  kCatalogueNotOurs,
  kBackupNote,
  kBackupStays,
  kCannotBackUp,
  kCannotListBackups,
  kAmbiguousValue,
  kBackupControls,
  kBadSuffix,
};

// `what` failed, and the system's reason where there is one.
NativeString Because(const NativeString& what, const SystemError& error);

// Japanese from now on, when `japanese`; English until then.
void UseJapanese(bool japanese);

// The text in the language in use, each "{}" replaced by the next of
// `values` and each "{N}" by the one N places from the first.
NativeString Say(Text text, std::initializer_list<NativeString> values = {});

// A number in the tools' texts, and one with a decimal.
NativeString Number(long long value);
NativeString Decimal(double value);

// Bytes in lower-case hexadecimal, two digits each, as sha256sum writes a
// digest and editors a colour.
std::string HexOf(std::span<const std::uint8_t> bytes);
