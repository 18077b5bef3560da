#include "texts.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "../notices.h"
#include "../os/system.h"

namespace {

struct Row {
  Text text;
  const NativeChar* english;
  const NativeChar* japanese;
};

#define T NATIVE_TEXT
constexpr Row kTexts[] = {
    {Text::kNotGif, T("not a .gif or .GIF file"), notice::kNotGif},
    {Text::kFolder, T("a folder; -r converts what is inside"), T("フォルダーです。中身は -r で変換できます")},
    {Text::kFolderToPack, T("a folder; -r packs what is inside"), T("フォルダーです。中身は -r で書き戻せます")},
    {Text::kPictureNamed, T("not a .gif or .GIF file; the carrier of this picture is {}"), T("拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。この画像の搬送ファイルは {} です")},
    {Text::kNotCarrier, T("not a carrier GIF"), notice::kNotCarrier},
    {Text::kCutShort, T("a carrier GIF cut short: the file ends inside its chain"), T("搬送ファイルが途中で切れています: チェーンの途中でファイルが終わっています")},
    {Text::kDamaged, T("a damaged carrier GIF: its bitmap's rows do not fit its payload"), T("搬送ファイルが壊れています: ビットマップの行がデータに収まりません")},
    {Text::kOutOfMemory, T("out of memory"), notice::kOutOfMemory},
    {Text::kBusy, T("being converted by another process"), notice::kBusy},
    {Text::kRefused, T("its picture cannot be written"), notice::kRefused},
    {Text::kCannotRead, T("cannot read"), notice::kCannotReadOrWrite},
    {Text::kCannotOpen, T("cannot open"), T("開けません")},
    {Text::kNotAFile, T("not a regular file"), T("通常のファイルではありません")},
    {Text::kCannotCreate, T("cannot create {}"), T("{} を作成できません")},
    {Text::kCannotWrite, T("cannot write {}"), T("{} に書き込めません")},
    {Text::kCannotReplace, T("cannot replace {}"), T("{} を置き換えられません")},
    {Text::kCannotCreateFolder, T("cannot create folder {}"), T("フォルダー {} を作成できません")},
    {Text::kCannotReadFolder, T("cannot read folder"), T("フォルダーを読み取れません")},
    {Text::kWrittenTwice, T("cannot write {}: already written from {}"), T("{} に書き込めません: {} から書き出し済みです")},
    {Text::kReplacesSource, T("cannot write {}: it would replace {}, a file this run reads"), T("{} に書き込めません: この実行で読み込む {} を置き換えてしまいます")},
    {Text::kSummary, T("{} files: {} converted, {} failed"), T("{} 個のファイル: 変換 {}、失敗 {}")},
    {Text::kSummaryChecked, T("{} files: {} would be converted, {} failed"), T("{} 個のファイル: 変換可能 {}、失敗 {}")},
    {Text::kSkipped, T(", {} skipped"), T("、スキップ {}")},
    {Text::kSkippedFile, T("{}: skipped: {}"), T("{}: スキップ: {}")},
    {Text::kNoCarrierFile, T("not a carrier GIF"), T("搬送ファイルではありません")},
    {Text::kNotCarriers, T(", {} not carriers"), T("、搬送ファイル以外 {}")},
    {Text::kStagingLeft, T("a staging file left by an interrupted run"), T("中断された実行が残した一時ファイルです")},
    {Text::kBackupLeft, T("a backup of a carrier or its picture"), T("搬送ファイルかその画像のバックアップです")},
    {Text::kNotStarted, T(", {} not started: interrupted"), T("、未着手 {}: 中断されました")},
    {Text::kOtherSkipped, T("; {} other files skipped"), T("。搬送ファイル以外の {} 個はスキップ")},
    {Text::kConverted, T("{} -> {}"), T("{} -> {}")},
    {Text::kChecked, T("{}: {}, {} bytes"), T("{}: {}、{} バイト")},
    {Text::kCheckedSize, T(", {} x {}"), T("、{} x {}")},
    {Text::kCheckedRows, T(", {}, rows of {} bytes"), T("、{}、行 {} バイト")},
    {Text::kCheckedPaddedRows, T(", {}, rows packed to {} bytes, written padded to {}"), T("、{}、行 {} バイト詰め、{} バイトに揃えて書き出し")},
    {Text::kCheckedCompressed, T(", compressed ({}), kept as carried"), T("、圧縮 ({})、そのまま書き出し")},
    {Text::kDepth, T("{}-bit"), T("{} ビット")},
    {Text::kDepthPalette, T("{}-bit, palette of {} colours"), T("{} ビット、パレット {} 色")},
    {Text::kDepthChannels, T("{}-bit {}"), T("{} ビット {}")},
    {Text::kDepthAlpha, T("{} with alpha"), T("{}、アルファ付き")},
    {Text::kImageData, T("image data"), T("画像データ")},
    {Text::kComment, T("comment"), T("コメント")},
    {Text::kUnknownOption, T("unknown option {}"), T("不明なオプションです: {}")},
    {Text::kNeedsValue, T("option {} needs a value"), T("オプション {} には値が必要です")},
    {Text::kBadValue, T("invalid value for {}: {}"), T("{} の値が正しくありません: {}")},
    {Text::kNoFile, T("no FILE given"), T("ファイルが指定されていません")},
    {Text::kCannotWriteOutput, T("cannot write standard output"), T("標準出力に書き込めません")},
    {Text::kCompressedBitmap, T("compressed ({})"), T("圧縮 ({})")},
    {Text::kNoStandardHeader, T("no standard bitmap header"), T("標準のビットマップヘッダーがない")},
    {Text::kCutPalette, T("palette or masks cut short"), T("パレットかマスクが欠けている")},
    {Text::kRleDamaged, T("damaged ({})"), T("壊れている ({})")},
    {Text::kTooManyToDecode, T("more than {} pixels to decode"), T("デコードする画素が {} を超える")},
    {Text::kCannotWritePng, T("{}, cannot be written as PNG"), T("{}ため PNG に書き出せません")},
    {Text::kNoPixels, T("no pixels ({} x {})"), T("画素がない ({} x {})")},
    {Text::kWrittenAsBmp, T("{} -> {} ({}, kept as BMP)"), T("{} -> {} ({}ため BMP のまま)")},
    {Text::kCannotStoreBack, T("{}, the picture cannot be stored back"), T("{}ため画像を戻せません")},
    {Text::kNoPicture, T("no picture: neither {} nor {} exists"), T("画像がありません: {} も {} もありません")},
    {Text::kCannotReadPicture, T("cannot read {}"), T("{} を読み取れません")},
    {Text::kPictureCutShort, T("cut short"), T("途中で切れています")},
    {Text::kPictureChecksum, T("checksum mismatch"), T("チェックサムが一致しません")},
    {Text::kPictureUnknown, T("not a PNG or BMP picture"), T("PNG でも BMP でもありません")},
    {Text::kPictureTwoBit, T("a 2-bit BMP: not supported"), T("2 ビットの BMP には対応していません")},
    {Text::kPicture64Bit, T("a 64-bit BMP: not supported"), T("64 ビットの BMP には対応していません")},
    {Text::kPictureBmpDepth, T("a BMP of {} bits a pixel: not supported"), T("1 画素 {} ビットの BMP には対応していません")},
    {Text::kPictureOs2, T("a BMP with an OS/2 2.x header: not supported"), T("OS/2 2.x のヘッダーの BMP には対応していません")},
    {Text::kPictureHuffman1D, T("a Huffman 1D BMP (OS/2): not supported"), T("Huffman 1D 圧縮の BMP (OS/2) には対応していません")},
    {Text::kPictureRle24, T("an RLE24 BMP (OS/2): not supported"), T("RLE24 圧縮の BMP (OS/2) には対応していません")},
    {Text::kPictureJpegInside, T("a BMP with a JPEG inside: not supported"), T("JPEG を収めた BMP には対応していません")},
    {Text::kPicturePngInside, T("a BMP with a PNG inside: not supported"), T("PNG を収めた BMP には対応していません")},
    {Text::kPictureCompression, T("a BMP of compression {}: not supported"), T("圧縮方式 {} の BMP には対応していません")},
    {Text::kPictureRowsTooLarge, T("its rows take {} MiB to read at its depth, more than the {} MiB the carrier's bitmap allows; "
       "save it as BMP or at a lower depth"), T("この色深度では行の読み取りに {} MiB かかり、ビットマップに許される {} MiB を超えています。"
       "BMP か浅い色深度で保存してください")},
    {Text::kPictureDamaged, T("damaged ({})"), T("壊れています ({})")},
    {Text::kPictureChanged, T("it changed while it was read"), T("読み取り中に変更されました")},
    {Text::kCarrierChanged, T("the carrier changed while it was packed"), T("書き戻し中に搬送ファイルが変更されました")},
    {Text::kWrongSize, T("{} is {} x {}, the carrier's bitmap {} x {}: the picture must keep the bitmap's size, or --resize "
       "writes the bitmap at the picture's"), T("{} は {} x {} ですが、ビットマップは {} x {} です。画像はビットマップと同じ大きさにするか、"
       "--resize でビットマップを画像の大きさで書いてください")},
    {Text::kTooLargeToResize, T("{} is {} x {}: --resize writes bitmaps of up to {} pixels, {} a side"),
     T("{} は {} x {} です。--resize で書けるビットマップは {} 画素まで、一辺 {} までです")},
    {Text::kPaletteChanged, T("the palette of {} differs from the carrier's in {} entries, its pixels keeping their indices; "
       "--palette gives the carrier the picture's palette"), T("{} のパレットは搬送ファイルのパレットと {} 項目で異なります (画素の番号はそのまま)。"
       "--palette で搬送ファイルのパレットを画像のパレットにします")},
    {Text::kPaletteTooLong, T("the palette of {} has {} entries, the carrier's {}: a palette edit keeps to the carrier's entries"),
     T("{} のパレットは {} 項目ですが、搬送ファイルのパレットは {} 項目です。パレットの編集は搬送ファイルの項目の中でしてください")},
    {Text::kPaletteEntry, T("entry {}: #{} -> #{}"), T("{} 番: #{} -> #{}")},
    {Text::kTransparent, T("{} pixels of {} are transparent, which the carrier's bitmap cannot hold; the first at {}, {}; "
       "the bitmap ({}) holds opaque colours only: make those pixels opaque"), T("{1} の {0} 個の画素が透明ですが、ビットマップは透明を持てません。最初は {2}, {3}。"
       "ビットマップ ({4}) は不透明な色だけを持てます。これらの画素を不透明にしてください")},
    {Text::kOffPalette, T("{} pixels of {} are not in the carrier's palette; the first at {}, {} from the top left; "
       "--nearest stores each as the palette's nearest colour"), T("{1} の {0} 個の画素がパレットにない色です。最初は左上から {2}, {3}。"
       "--nearest でパレットの最も近い色に置き換えられます")},
    {Text::kOffColour, T("#{} in {} pixels: the nearest is entry {}, #{}, ΔE {}"), T("#{} が {} 画素: 最も近いのは {} 番の #{}、ΔE {}")},
    {Text::kPacked, T("{} <- {}: {} pixels in {} x {} at {}, {}"), T("{} <- {}: {} 画素 ({} x {}、位置 {}, {})")},
    {Text::kPackedPaletteOnly, T("{} <- {}: no pixel changed"), T("{} <- {}: 画素の変更なし")},
    {Text::kPackedMapped, T("; {} pixels mapped to the palette, largest ΔE {}"), T("。{} 画素をパレットの色に置き換え、最大 ΔE {}")},
    {Text::kUnchanged, T("{}: unchanged ({})"), T("{}: 変更なし ({})")},
    {Text::kUnchangedHeld, T("{}: unchanged: it holds {} already, {} pixels as their nearest entries"),
     T("{}: 変更なし: {} をすでに持っています (最も近い色として {} 画素)")},
    {Text::kInLineNote, T("; {} now shows it too"), T("。{} も同じ画像にしました")},
    {Text::kPackedPalette, T("; {} palette entries changed"), T("。パレットの {} 項目を変更")},
    {Text::kPackedResized, T("; the bitmap is {} x {}, was {} x {}"), T("。ビットマップは {} x {} (元は {} x {})")},
    {Text::kResizeWarning, T("{}: its bitmap goes back at {} x {}, not {} x {}: the game may not expect the new size"),
     T("{}: ビットマップを {} x {} (元は {} x {}) で書き戻します。ゲームが新しい大きさを想定していない場合があります")},
    {Text::kReservedNote, T("; entries {} kept out of --nearest"), T("。{} 番を --nearest の候補から除外")},
    {Text::kCannotBringInLine, T("cannot bring {} in line with the packed carrier, which is left as it was"),
     T("{} を書き戻した搬送ファイルに合わせられません。搬送ファイルはそのままです")},
    {Text::kOtherNotCarriers, T("; {} not carriers"), T("。搬送ファイル以外 {}")},
    {Text::kCopied, T("{} -> {} (copied as it is)"), T("{} -> {} (そのままコピー)")},
    {Text::kWouldCopy, T("{} -> {} (would be copied as it is)"), T("{} -> {} (そのままコピー予定)")},
    {Text::kCannotCopy, T("cannot copy to {}"), T("{} にコピーできません")},
    {Text::kSummaryCopied, T("; {} other files copied"), T("。ほかに {} 個をコピー")},
    {Text::kSummaryWouldCopy, T("; {} other files would be copied"), T("。ほかに {} 個をコピー予定")},
    {Text::kPackSummary, T("{} carriers: {} packed, {} already hold their pictures, {} failed"),
     T("{} 個の搬送ファイル: 書き戻し {}、書き戻し済み {}、失敗 {}")},
    {Text::kPackSummaryChecked, T("{} carriers: {} would be packed, {} already hold their pictures, {} failed"),
     T("{} 個の搬送ファイル: 書き戻し可能 {}、書き戻し済み {}、失敗 {}")},
    {Text::kSummaryMapped, T("; {} pixels mapped to the palette, largest ΔE {}"), T("。{} 画素をパレットの色に置き換え、最大 ΔE {}")},
    {Text::kTwoEdits, T("{} and {} both differ from the carrier and from each other; keep the one with the edit and move the other away"),
     T("{} と {} はどちらも搬送ファイルと異なり、互いにも異なります。編集した方を残し、もう一方を移動してください")},
    {Text::kKept, T("{}: kept: {}; --force replaces it"), T("{}: 保持しました: {}。--force で置き換えます")},
    {Text::kEditShown, T("it shows another picture than its carrier (an edit not packed yet?)"),
     T("搬送ファイルと異なる画像です (まだ書き戻していない編集?)")},
    {Text::kNoPictureShown, T("it is no picture of its carrier's bitmap ({})"), T("搬送ファイルのビットマップの画像ではありません ({})")},
    {Text::kReplaced, T("{}: replaced: {}"), T("{}: 置き換えました: {}")},
    {Text::kWouldReplace, T("{}: would be replaced: {}"), T("{}: 置き換えられます: {}")},
    {Text::kSummaryKept, T(", {} kept"), T("、保持 {}")},
    {Text::kSummaryReplaced, T(", {} edits replaced"), T("、置き換えた編集 {}")},
    {Text::kSummaryWouldReplace, T(", {} edits would be replaced"), T("、置き換えられる編集 {}")},
    {Text::kNoPictureBeside, T("; pictures are looked for beside each carrier, and --from DIR takes them from DIR, where quillane-convert -o DIR wrote them"),
     T("。画像は各搬送ファイルの隣を探します。quillane-convert -o DIR で書き出した画像は --from DIR で指定できます")},
    {Text::kNoPictureFrom, T("; pictures are looked for in {}, where quillane-convert -o {} writes them"),
     T("。画像は {} を探します (quillane-convert -o {} の書き出し先)")},
    {Text::kFarColours, T("{} <- {}: --nearest moved {} colours farther than ΔE {}, a visible change; the commonest:"),
     T("{} <- {}: --nearest で {} 色を ΔE {} より遠く (見て分かるほど) 置き換えました。多い順に:")},
    {Text::kFarColour, T("#{} in {} pixels stored as entry {}, #{}, ΔE {}"), T("#{} の {} 画素を {} 番の #{} に置き換え、ΔE {}")},
    {Text::kSummaryFar, T("; {} carriers with colours moved farther than ΔE {}"), T("。ΔE {1} より遠く置き換えた色のある搬送ファイル {0}")},
    {Text::kCatalogueLanguage, T("en"), T("ja")},
    {Text::kCatalogueTitle, T("Catalogue of {}"), T("{} のカタログ")},
    {Text::kCatalogueBytes, T("{} bytes in carriers, {} bytes written"), T("搬送ファイル {} バイト、書き出し {} バイト")},
    {Text::kCatalogueMade, T("made by quillane-convert {} on {}"), T("quillane-convert {} で作成 ({})")},
    {Text::kCatalogueChecked, T("checked only: no pictures written"), T("検査のみ: 画像は書き出していません")},
    {Text::kCatalogueInterrupted, T("interrupted: only the files the run started are shown"), T("中断されました: 実行が着手したファイルだけを示します")},
    {Text::kCatalogueFilter, T("Filter"), T("絞り込み")},
    {Text::kCatalogueForm, T("Form"), T("形式")},
    {Text::kCatalogueAll, T("all"), T("すべて")},
    {Text::kCatalogueZoom, T("Zoom"), T("拡大")},
    {Text::kCatalogueBackground, T("Background"), T("背景")},
    {Text::kCatalogueBlack, T("black"), T("黒")},
    {Text::kCatalogueWhite, T("white"), T("白")},
    {Text::kCatalogueChecks, T("checkerboard"), T("市松模様")},
    {Text::kCatalogueShown, T("{} of {} shown"), T("{1} 件中 {0} 件を表示")},
    {Text::kCatalogueSize, T("{} × {}"), T("{} × {}")},
    {Text::kCatalogueCarrierBytes, T("carrier {} bytes"), T("搬送ファイル {} バイト")},
    {Text::kCatalogueRowsPacked, T("rows packed"), T("行詰め")},
    {Text::kCatalogueRowsPadded, T("rows padded"), T("行揃え")},
    {Text::kCataloguePalette, T("palette, in index order"), T("パレット (インデックス順)")},
    {Text::kCataloguePaletteEntry, T("entry {}: #{}"), T("{} 番: #{}")},
    {Text::kCataloguePaletteGroup, T("{}-bit palette"), T("{} ビット パレット")},
    {Text::kCatalogueFailed, T("failed"), T("失敗")},
    {Text::kCatalogueNoPicture, T("{}: no picture to show"), T("{}ため表示する画像がありません")},
    {Text::kCatalogueEdited, T("edited"), T("編集済み")},
    {Text::kReviewTitle, T("Review of a pack"), T("書き戻しの確認")},
    {Text::kReviewTitleChecked, T("Review of a pack not made yet"), T("書き戻しの確認 (まだ書き戻していません)")},
    {Text::kReviewMade, T("made by quillane-pack {} on {}"), T("quillane-pack {} で作成 ({})")},
    {Text::kReviewInterrupted, T("interrupted: only the carriers the run started are shown"),
     T("中断されました: 実行が着手した搬送ファイルだけを示します")},
    {Text::kReviewBefore, T("before: the carrier as it stands"), T("前: 現在の搬送ファイル")},
    {Text::kReviewAfter, T("after: the carrier as the pack writes it"), T("後: 書き戻した搬送ファイル")},
    {Text::kReviewChanges, T("changes marked"), T("変更箇所")},
    {Text::kReviewMark, T("Mark"), T("印")},
    {Text::kReviewTint, T("tint"), T("色付け")},
    {Text::kReviewOutline, T("outline"), T("輪郭")},
    {Text::kReviewChanged, T("{} pixels look different, in {} x {} at {}, {}"), T("{} 画素の見た目が変わります ({} x {}、位置 {}, {})")},
    {Text::kReviewNoChange, T("no pixel looks different"), T("見た目の変わる画素はありません")},
    {Text::kReviewResized, T("{} x {}, was {} x {}"), T("{} x {} (元は {} x {})")},
    {Text::kReviewMoved, T("Colours --nearest moved, the farthest first"), T("--nearest で置き換えた色 (遠い順)")},
    {Text::kReviewColour, T("colour"), T("色")},
    {Text::kReviewEntry, T("entry"), T("番号")},
    {Text::kReviewDeltaE, T("ΔE"), T("ΔE")},
    {Text::kReviewPixels, T("pixels"), T("画素")},
    {Text::kReviewPalette, T("Palette entries changed"), T("変更したパレット項目")},
    {Text::kReviewRefused, T("Refused ({})"), T("書き戻せないもの ({})")},
    {Text::kReviewUnchanged, T("{} carriers already hold their pictures"), T("書き戻し済みの搬送ファイル {} 個")},
    {Text::kReviewNoPictures, T("no picture to show"), T("表示できる画像がありません")},
    {Text::kReviewNotOurs, T("cannot replace {}: --review did not make it"), T("{} を置き換えられません: --review で作成したものではありません")},
    {Text::kSummaryReview, T("; review in {}"), T("。確認ページ: {}")},
    {Text::kCatalogueNotOurs, T("cannot replace {}: --catalogue did not make it"), T("{} を置き換えられません: --catalogue で作成したものではありません")},
    {Text::kBackupNote, T(", backup {}"), T("、バックアップ {}")},
    {Text::kBackupStays, T("; its backup {} stays"), T("。バックアップ {} は残ります")},
    {Text::kCannotBackUp, T("cannot back up {} as {}"), T("{} を {} としてバックアップできません")},
    {Text::kCannotListBackups, T("cannot list the backups of {}"), T("{} のバックアップを一覧できません")},
    {Text::kAmbiguousValue, T("ambiguous value for {}: {}"), T("{} の値があいまいです: {}")},
    {Text::kBackupControls, T("; the values are none or off, numbered or t, existing or nil, simple or never"),
     T("。値は none か off、numbered か t、existing か nil、simple か never です")},
    {Text::kBadSuffix, T("invalid value for {}: {}: a backup so named would stand where a carrier, its picture or its staging file goes"),
     T("{} の値が正しくありません: {}。この名前のバックアップは搬送ファイル、その画像、作業ファイルの名前と重なります")},
};
#undef T
// Each text at the place of its name, so that none is said for another.
constexpr bool InOrder() {
  for (std::size_t i = 0; i < std::size(kTexts); ++i) {
    if (kTexts[i].text != static_cast<Text>(i)) return false;
  }
  return true;
}
static_assert(InOrder() && std::size(kTexts) == static_cast<std::size_t>(Text::kCount));

bool japanese = false;

}  // namespace

void UseJapanese(bool use) { japanese = use; }

NativeString Say(Text text, std::initializer_list<NativeString> values) {
  const Row& row = kTexts[static_cast<std::size_t>(text)];
  const NativeString pattern = japanese ? row.japanese : row.english;
  // "{}" takes the next value, "{2}" the third, for languages that order them otherwise.
  NativeString out;
  std::size_t next = 0;
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    const bool numbered = at + 2 < pattern.size() && pattern[at + 1] >= '0' && pattern[at + 1] <= '9' &&
                          pattern[at + 2] == '}';
    if (pattern[at] == '{' && (numbered || pattern.compare(at, 2, NATIVE_TEXT("{}")) == 0)) {
      const std::size_t index = numbered ? static_cast<std::size_t>(pattern[at + 1] - '0') : next++;
      if (index < values.size()) out += values.begin()[index];
      at += numbered ? 2 : 1;
    } else {
      out += pattern[at];
    }
  }
  return out;
}

NativeString Because(const NativeString& what, const SystemError& error) {
  if (!error.Said()) return what;
  return what + NATIVE_TEXT(": ") + ErrorText(error.code);
}

NativeString Number(long long value) {
  const std::string digits = std::to_string(value);
  return NativeString(digits.begin(), digits.end());
}

NativeString Grouped(long long value) {
  const NativeString digits = Number(value);
  NativeString grouped;
  const std::size_t first = digits[0] == '-' ? 1 : 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

NativeString Decimal(double value) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%.1f", value);
  return NativeString(digits, digits + std::strlen(digits));
}

std::string HexOf(std::span<const std::uint8_t> bytes) {
  constexpr const char* kDigits = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : bytes) hex.append(1, kDigits[byte >> 4]).append(1, kDigits[byte & 15]);
  return hex;
}
