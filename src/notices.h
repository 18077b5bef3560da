// The window's notices, in its own words: what the drop window shows for
// each failure, and what the command-line tools say in Japanese for the same.
#pragma once

#include "native.h"

namespace notice {

inline constexpr const NativeChar* kNotGif = NATIVE_TEXT("拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。");
inline constexpr const NativeChar* kNotCarrier = NATIVE_TEXT("このファイルは対応フォーマットではありません。");
inline constexpr const NativeChar* kCannotReadOrWrite = NATIVE_TEXT("ファイルの読み書きに失敗しました。");
inline constexpr const NativeChar* kOutOfMemory = NATIVE_TEXT("メモリが不足しています。");
inline constexpr const NativeChar* kBusy = NATIVE_TEXT("このファイルは別のプロセスが変換中です。");
inline constexpr const NativeChar* kRefused = NATIVE_TEXT("このファイルの画像は書き出せません。");
// Said of the output, not the dropped file: one that shows another picture than its carrier, kept.
inline constexpr const NativeChar* kKeptEdit = NATIVE_TEXT("このファイルは搬送ファイルと異なる画像のため、上書きしませんでした。");

}  // namespace notice
