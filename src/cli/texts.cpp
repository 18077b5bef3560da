#include "texts.h"

#include <iterator>

#include "../convert/convert.h"
#include "../os/system.h"

namespace {

struct Row {
  const NativeChar* english;
  const NativeChar* japanese;  // nullptr: the window's message for `notice`
  Status notice;
};

#define T NATIVE_TEXT
constexpr Row kTexts[] = {
    {T("not a .gif or .GIF file"), nullptr, Status::kBadExtension},
    {T("not a carrier GIF"), nullptr, Status::kUnsupported},
    {T("out of memory"), nullptr, Status::kOutOfMemory},
    {T("being converted by another process"), nullptr, Status::kBusy},
    {T("its picture cannot be written"), nullptr, Status::kRefused},
    {T("cannot read"), nullptr, Status::kIoError},
    {T("cannot open"), T("開けません"), Status::kOk},
    {T("not a regular file"), T("通常のファイルではありません"), Status::kOk},
    {T("cannot create {}"), T("{} を作成できません"), Status::kOk},
    {T("cannot write {}"), T("{} に書き込めません"), Status::kOk},
    {T("cannot replace {}"), T("{} を置き換えられません"), Status::kOk},
    {T("cannot create folder {}"), T("フォルダー {} を作成できません"), Status::kOk},
    {T("cannot read folder"), T("フォルダーを読み取れません"), Status::kOk},
    {T("cannot write {}: already written from {}"), T("{} に書き込めません: {} から書き出し済みです"),
     Status::kOk},
    {T("{} files: {} converted, {} failed"), T("{} 個のファイル: 変換 {}、失敗 {}"), Status::kOk},
    {T("{} files: {} would be converted, {} failed"), T("{} 個のファイル: 変換可能 {}、失敗 {}"),
     Status::kOk},
    {T(", {} skipped"), T("、スキップ {}"), Status::kOk},
    {T("{} -> {}"), T("{} -> {}"), Status::kOk},
    {T("{}: {}, {} bytes"), T("{}: {}、{} バイト"), Status::kOk},
    {T(", {} x {}"), T("、{} x {}"), Status::kOk},
    {T(", {}-bit, rows of {} bytes"), T("、{} ビット、行 {} バイト"), Status::kOk},
    {T(", {}-bit, rows packed to {} bytes, written padded to {}"),
     T("、{} ビット、行 {} バイト詰め、{} バイトに揃えて書き出し"), Status::kOk},
    {T(", compressed ({}), kept as carried"), T("、圧縮 ({})、そのまま書き出し"), Status::kOk},
    {T("image data"), T("画像データ"), Status::kOk},
    {T("comment"), T("コメント"), Status::kOk},
    {T("unknown option {}"), T("不明なオプションです: {}"), Status::kOk},
    {T("option {} needs a value"), T("オプション {} には値が必要です"), Status::kOk},
    {T("invalid value for {}: {}"), T("{} の値が正しくありません: {}"), Status::kOk},
    {T("no FILE given"), T("ファイルが指定されていません"), Status::kOk},
    {T("cannot write standard output"), T("標準出力に書き込めません"), Status::kOk},
    {T("compressed ({})"), T("圧縮 ({})"), Status::kOk},
    {T("no standard bitmap header"), T("標準のビットマップヘッダーがない"), Status::kOk},
    {T("palette or masks cut short"), T("パレットかマスクが欠けている"), Status::kOk},
    {T("{}, cannot be written as PNG"), T("{}ため PNG に書き出せません"), Status::kOk},
    {T("{}, the picture cannot be stored back"), T("{}ため画像を戻せません"), Status::kOk},
    {T("no picture: neither {} nor {} exists"), T("画像がありません: {} も {} もありません"), Status::kOk},
    {T("cannot read {}"), T("{} を読み取れません"), Status::kOk},
    {T("{} is {} x {}, the carrier's bitmap {} x {}"), T("{} は {} x {} ですが、ビットマップは {} x {} です"),
     Status::kOk},
    {T("{} pixels of {} are transparent, which the carrier's bitmap cannot hold; the first at {}, {}"),
     T("{1} の {0} 個の画素が透明ですが、ビットマップは透明を持てません。最初は {2}, {3}"), Status::kOk},
    {T("{} pixels of {} are not in the carrier's palette; the first at {}, {}"),
     T("{1} の {0} 個の画素がパレットにない色です。最初は {2}, {3}"), Status::kOk},
    {T("{} <- {}"), T("{} <- {}"), Status::kOk},
    {T("{}: unchanged ({})"), T("{}: 変更なし ({})"), Status::kOk},
    {T("{} carriers: {} packed, {} unchanged, {} failed"), T("{} 個の搬送ファイル: 書き戻し {}、変更なし {}、失敗 {}"),
     Status::kOk},
    {T("{} carriers: {} would be packed, {} unchanged, {} failed"),
     T("{} 個の搬送ファイル: 書き戻し可能 {}、変更なし {}、失敗 {}"), Status::kOk},
};
#undef T
static_assert(std::size(kTexts) == static_cast<std::size_t>(Text::kPackSummaryChecked) + 1);

bool japanese = false;

}  // namespace

void UseJapanese(bool use) { japanese = use; }

NativeString Say(Text text, std::initializer_list<NativeString> values) {
  const Row& row = kTexts[static_cast<std::size_t>(text)];
  const NativeString pattern = !japanese      ? row.english
                               : row.japanese ? row.japanese
                                              : MessageText(row.notice);
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
