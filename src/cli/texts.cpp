#include "texts.h"

#include <iterator>

#include "../os/system.h"

namespace {

struct Row {
  const NativeChar* english;
  const NativeChar* japanese;
};

#define T NATIVE_TEXT
constexpr Row kTexts[] = {
    {T("not a .gif or .GIF file"), T("拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。")},
    {T("not a carrier GIF"), T("このファイルは対応フォーマットではありません。")},
    {T("out of memory"), T("メモリが不足しています。")},
    {T("being converted by another process"), T("このファイルは別のプロセスが変換中です。")},
    {T("its picture cannot be written"), T("このファイルの画像は書き出せません。")},
    {T("cannot read"), T("ファイルの読み書きに失敗しました。")},
    {T("cannot open"), T("開けません")},
    {T("not a regular file"), T("通常のファイルではありません")},
    {T("cannot create {}"), T("{} を作成できません")},
    {T("cannot write {}"), T("{} に書き込めません")},
    {T("cannot replace {}"), T("{} を置き換えられません")},
    {T("cannot create folder {}"), T("フォルダー {} を作成できません")},
    {T("cannot read folder"), T("フォルダーを読み取れません")},
    {T("cannot write {}: already written from {}"), T("{} に書き込めません: {} から書き出し済みです")},
    {T("cannot write {}: it would replace {}, a file this run reads"),
     T("{} に書き込めません: この実行で読み込む {} を置き換えてしまいます")},
    {T("{} files: {} converted, {} failed"), T("{} 個のファイル: 変換 {}、失敗 {}")},
    {T("{} files: {} would be converted, {} failed"), T("{} 個のファイル: 変換可能 {}、失敗 {}")},
    {T(", {} skipped"), T("、スキップ {}")},
    {T("{} -> {}"), T("{} -> {}")},
    {T("{}: {}, {} bytes"), T("{}: {}、{} バイト")},
    {T(", {} x {}"), T("、{} x {}")},
    {T(", {}-bit, rows of {} bytes"), T("、{} ビット、行 {} バイト")},
    {T(", {}-bit, rows packed to {} bytes, written padded to {}"),
     T("、{} ビット、行 {} バイト詰め、{} バイトに揃えて書き出し")},
    {T(", compressed ({}), kept as carried"), T("、圧縮 ({})、そのまま書き出し")},
    {T("image data"), T("画像データ")},
    {T("comment"), T("コメント")},
    {T("unknown option {}"), T("不明なオプションです: {}")},
    {T("option {} needs a value"), T("オプション {} には値が必要です")},
    {T("invalid value for {}: {}"), T("{} の値が正しくありません: {}")},
    {T("no FILE given"), T("ファイルが指定されていません")},
    {T("cannot write standard output"), T("標準出力に書き込めません")},
    {T("compressed ({})"), T("圧縮 ({})")},
    {T("no standard bitmap header"), T("標準のビットマップヘッダーがない")},
    {T("palette or masks cut short"), T("パレットかマスクが欠けている")},
    {T("{}, cannot be written as PNG"), T("{}ため PNG に書き出せません")},
    {T("no pixels ({} x {})"), T("画素がない ({} x {})")},
    {T("{} -> {} ({}, kept as BMP)"), T("{} -> {} ({}ため BMP のまま)")},
    {T("{}, the picture cannot be stored back"), T("{}ため画像を戻せません")},
    {T("no picture: neither {} nor {} exists"), T("画像がありません: {} も {} もありません")},
    {T("cannot read {}"), T("{} を読み取れません")},
    {T("cut short"), T("途中で切れています")},
    {T("checksum mismatch"), T("チェックサムが一致しません")},
    {T("not a PNG or BMP picture"), T("PNG でも BMP でもありません")},
    {T("damaged ({})"), T("壊れています ({})")},
    {T("it changed while it was read"), T("読み取り中に変更されました")},
    {T("the carrier changed while it was packed"), T("書き戻し中に搬送ファイルが変更されました")},
    {T("{} is {} x {}, the carrier's bitmap {} x {}"), T("{} は {} x {} ですが、ビットマップは {} x {} です")},
    {T("{} pixels of {} are transparent, which the carrier's bitmap cannot hold; the first at {}, {}"),
     T("{1} の {0} 個の画素が透明ですが、ビットマップは透明を持てません。最初は {2}, {3}")},
    {T("{} pixels of {} are not in the carrier's palette; the first at {}, {}"),
     T("{1} の {0} 個の画素がパレットにない色です。最初は {2}, {3}")},
    {T("{} <- {}"), T("{} <- {}")},
    {T("{}: unchanged ({})"), T("{}: 変更なし ({})")},
    {T("{} carriers: {} packed, {} unchanged, {} failed"), T("{} 個の搬送ファイル: 書き戻し {}、変更なし {}、失敗 {}")},
    {T("{} carriers: {} would be packed, {} unchanged, {} failed"),
     T("{} 個の搬送ファイル: 書き戻し可能 {}、変更なし {}、失敗 {}")},
};
#undef T
static_assert(std::size(kTexts) == static_cast<std::size_t>(Text::kPackSummaryChecked) + 1);

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
  if (error.kind != SystemError::Kind::kSystem || error.code == 0) return what;
  return what + NATIVE_TEXT(": ") + ErrorText(error.code);
}
