#include "texts.h"

#include <iterator>

#include "../convert/convert.h"

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
};
#undef T
static_assert(std::size(kTexts) == static_cast<std::size_t>(Text::kCannotWriteOutput) + 1);

bool japanese = false;

}  // namespace

void UseJapanese(bool use) { japanese = use; }

NativeString Say(Text text, std::initializer_list<NativeString> values) {
  const Row& row = kTexts[static_cast<std::size_t>(text)];
  const NativeString pattern = !japanese      ? row.english
                               : row.japanese ? row.japanese
                                              : MessageText(row.notice);
  NativeString out;
  auto value = values.begin();
  for (std::size_t at = 0; at < pattern.size(); ++at) {
    if (pattern.compare(at, 2, NATIVE_TEXT("{}")) == 0 && value != values.end()) {
      out += *value++;
      ++at;
    } else {
      out += pattern[at];
    }
  }
  return out;
}
