#include "convert_file.h"

#include <iterator>

#include "../convert/bitmap_writer.h"
#include "../convert/file_io.h"

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

const NativeChar* MessageText(Status status) { return kMessages[static_cast<std::size_t>(status)]; }

void ShowFileError(const ShowNotice& show, const NativeString& path, Status status) {
  show(kNoticePrefix + path + NATIVE_TEXT("\n") + MessageText(status));
}

Outcome ConvertFile(Platform& os, const NativeString& path, const ShowNotice& show) {
  Workspace workspace;
  Outcome outcome{{Status::kOutOfMemory}};
  if (workspace.Ready()) {
    BitmapWriter writer(os, workspace.writing(), workspace.gathering());
    outcome = RunJob(os, {path, path, kBmpSuffix}, writer, workspace.reading());
  }
  if (outcome.error) ShowFileError(show, path, outcome.error.status);
  return outcome;
}
