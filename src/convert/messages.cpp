#include "convert.h"

#include <iterator>

namespace {

constexpr const NativeChar* kMessages[] = {
    nullptr,
    NATIVE_TEXT("拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。"),
    NATIVE_TEXT("このファイルは対応フォーマットではありません。"),
    NATIVE_TEXT("ファイルの読み書きに失敗しました。"),
    NATIVE_TEXT("メモリが不足しています。"),
    NATIVE_TEXT("このファイルは別のプロセスが変換中です。"),
    NATIVE_TEXT("このファイルの画像は書き出せません。"),
};
static_assert(std::size(kMessages) == static_cast<std::size_t>(Status::kRefused) + 1);

constexpr const NativeChar* kNoticePrefix = NATIVE_TEXT("ファイル：");

}  // namespace

const NativeChar* MessageText(Status status) {
  return kMessages[static_cast<std::size_t>(status)];
}

void ShowFileError(Platform& os, const NativeString& path, Status status) {
  os.ShowNotice(kNoticePrefix + path + NATIVE_TEXT("\n") + MessageText(status));
}
