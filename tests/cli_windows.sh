#!/usr/bin/env bash
# quillane-convert.exe under Wine: Unicode names convert, notices arrive as
# UTF-8 when standard error is redirected, exit codes as on Linux.
# Usage: cli_windows.sh CONVERT_EXE MAKE_CARRIER_EXE RUNNER [RUNNER_ARGS...]
set -u
convert=$1 make=$2 runner=("${@:3}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); echo "PASS $1"; else failed=$((failed + 1)); echo "FAIL $1"; fi
}

# The fixture tool takes ANSI arguments, so the names are given afterwards.
"${runner[@]}" "$make" --width 7 --height 5 a.gif sonly.expected >/dev/null && mv a.gif 'ソ.gif'
"${runner[@]}" "$make" --comment --width 33 --height 4 b.gif omega.expected >/dev/null &&
  mv b.gif 'Ωmega 日本.GIF'
printf 'not a carrier' > bad.gif
"${runner[@]}" "$convert" 'ソ.gif' 'Ωmega 日本.GIF' bad.gif note.txt 2>stderr.txt >/dev/null
code=$?

check "exit code 1 when a file got a notice" test "$code" -eq 1
check "double-byte name converted byte for byte" cmp -s 'ソ.gif.bmp' sonly.expected
check "name outside every ANSI code page converted" cmp -s 'Ωmega 日本.GIF.bmp' omega.expected
expected=$(printf 'ファイル：bad.gif\nこのファイルは対応フォーマットではありません。\nファイル：note.txt\n拡張子が ".gif" もしくは ".GIF" 以外のファイルは処理できません。\n')
check "notices readable in UTF-8, in order" test "$(cat stderr.txt)" = "$expected"
check "no staging file left" test -z "$(ls | grep '\.temp$')"
version=$("${runner[@]}" "$convert" --version | tr -d '\r')
check "version" test "$version" = "quillane-convert 1.0.0.0 (0.01beta)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
