#!/usr/bin/env bash
# quillane-convert.exe under Wine: Unicode names convert, messages arrive as
# the Linux build prints them, UTF-8 when standard error is redirected, in
# English or Japanese as the user's language says; an output another program
# holds for a moment is still replaced; quillane-pack.exe packs and keeps backups.
# Usage: cli_windows.sh CONVERT_EXE MAKE_CARRIER_EXE PROBE_EXE PACK_EXE RUNNER [RUNNER_ARGS...]
#   QUILLANE_VERSION and QUILLANE_FILE_VERSION are the versions --version must print.
set -u
convert=$1 make=$2 probe=$3 pack=$4 runner=("${@:5}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); echo "PASS $1"; else failed=$((failed + 1)); echo "FAIL $1"; fi
}
# run LOCALE ARGS...: the converter with Wine's language taken from LOCALE.
run() { LANG=$1 LC_ALL=$1 "${runner[@]}" "$convert" "${@:2}"; }

# The fixture tool takes ANSI arguments, so the names are given afterwards.
"${runner[@]}" "$make" --width 7 --height 5 a.gif sonly.expected >/dev/null && mv a.gif 'ソ.gif'
"${runner[@]}" "$make" --comment --width 33 --height 4 b.gif omega.expected >/dev/null &&
  mv b.gif 'Ωmega 日本.GIF'
printf 'not a carrier' > bad.gif
mkdir folder.gif
run C.UTF-8 -v 'ソ.gif' 'Ωmega 日本.GIF' bad.gif note.txt missing.gif folder.gif 2>stderr.txt >stdout.txt
code=$?

check "exit code 1 when a file failed" test "$code" -eq 1
check "double-byte name converted byte for byte" cmp -s 'ソ.gif.bmp' sonly.expected
check "name outside every ANSI code page converted" cmp -s 'Ωmega 日本.GIF.bmp' omega.expected
check "converted files listed in UTF-8" test "$(cat stdout.txt)" = "$(printf 'ソ.gif -> ソ.gif.bmp\nΩmega 日本.GIF -> Ωmega 日本.GIF.bmp')"
expected="quillane-convert: bad.gif: not a carrier GIF
quillane-convert: note.txt: not a .gif or .GIF file
quillane-convert: missing.gif: cannot open: File not found
quillane-convert: folder.gif: not a regular file
6 files: 2 converted, 4 failed"
check "one line per problem, with the system's reason, then the summary" test "$(cat stderr.txt)" = "$expected"
check "no staging file left" test -z "$(ls | grep '\.temp$')"
expected="quillane-convert: bad.gif: このファイルは対応フォーマットではありません。
quillane-convert: note.txt: 拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。
2 個のファイル: 変換 0、失敗 2"
check "a Japanese user gets the window's wording" test "$(run ja_JP.UTF-8 bad.gif note.txt 2>&1)" = "$expected"

# A name refused for its extension claims no output, whatever the case rules.
cp 'ソ.gif' title.gif && cp 'ソ.gif' title.Gif
run C.UTF-8 title.Gif title.gif 2>stderr.txt
check "a name refused for its case claims no output" test "$(tr -d '\r' <stderr.txt)" = "quillane-convert: title.Gif: not a .gif or .GIF file
2 files: 1 converted, 1 failed"
check "the name beside it converts" cmp -s title.gif.bmp sonly.expected
rm -f title.gif title.Gif title.gif.bmp

mkdir -p tree/下
cp 'ソ.gif' tree/下/
run C.UTF-8 -q -r -o 出力 tree
check "-o makes the tree again in the output folder" cmp -s 出力/下/ソ.gif.bmp sonly.expected

# An indexer or scanner holding the output for a moment delays the rename; one
# holding it for longer makes it fail, and the earlier output stays. That
# output is no picture, which only --force replaces.
hold() {  # hold MS: until the probe says the output is open
  "${runner[@]}" "$probe" hold "$1" 'ソ.gif.bmp' >held.txt &
  for _ in $(seq 100); do [ -s held.txt ] && return; sleep 0.1; done
}
printf old >'ソ.gif.bmp'
hold 600
run C.UTF-8 --force 'ソ.gif' 2>stderr.txt
check "an output held for a moment is replaced" cmp -s 'ソ.gif.bmp' sonly.expected
wait
printf old >'ソ.gif.bmp'
hold 5000
run C.UTF-8 --force 'ソ.gif' 2>stderr.txt
check "an output held for long is reported and kept" \
  test "$(cat 'ソ.gif.bmp')/$(cat stderr.txt)" = "old/quillane-convert: ソ.gif: cannot replace ソ.gif.bmp: Access denied"
wait

# quillane-pack.exe takes an edited picture back into a carrier with a Unicode
# name, and an unedited one gives the carrier back byte for byte.
cp 'Ωmega 日本.GIF' omega.original
run C.UTF-8 -q -f png 'Ωmega 日本.GIF'
LANG=C.UTF-8 LC_ALL=C.UTF-8 "${runner[@]}" "$pack" -q -o 出力 'Ωmega 日本.GIF'
check "an unedited picture packs to the very carrier" cmp -s '出力/Ωmega 日本.GIF' omega.original
/usr/bin/python3 -c "from PIL import Image; i = Image.open('Ωmega 日本.GIF.png'); i.paste((255, 0, 0), (0, 0, 9, 2)); i.save('Ωmega 日本.GIF.png')"
LANG=C.UTF-8 LC_ALL=C.UTF-8 "${runner[@]}" "$pack" 'Ωmega 日本.GIF' 2>stderr.txt
run C.UTF-8 -q -f png -o again 'Ωmega 日本.GIF'
same=$(/usr/bin/python3 -c "from PIL import Image; print(list(Image.open('again/Ωmega 日本.GIF.png').getdata()) == list(Image.open('Ωmega 日本.GIF.png').getdata()))")
check "the edit comes out again" test "$same/$(cat stderr.txt)" = "True/"

# Backups under the names GNU cp gives them: each the carrier it replaced,
# its time with it; -n -v names the next.
rm 'Ωmega 日本.GIF.bmp'  # the picture converted first, which shows no edit of these
shade=0
edit() {  # another edit of the picture, the carrier as it stands kept to compare
  shade=$((shade + 40))
  /usr/bin/python3 -c "from PIL import Image; i = Image.open('Ωmega 日本.GIF.png'); i.paste(($shade, 7, 9), (0, 0, 4, 2)); i.save('Ωmega 日本.GIF.png')"
  touch -d 2001-01-01 'Ωmega 日本.GIF' && cp -p 'Ωmega 日本.GIF' before.GIF
}
packing() { LANG=C.UTF-8 LC_ALL=C.UTF-8 "${runner[@]}" "$pack" -v "$@" 'Ωmega 日本.GIF' | tr -d '\r' >stdout.txt; }
same_file() { cmp -s "$1" "$2" && test "$(stat -c %Y "$1")" = "$(stat -c %Y "$2")"; }
edit && packing -b
check "a simple backup is the carrier replaced, its time kept" same_file 'Ωmega 日本.GIF~' before.GIF
check "-v names the backup" test "$(cat stdout.txt)" = 'Ωmega 日本.GIF <- Ωmega 日本.GIF.png, backup Ωmega 日本.GIF~'
edit && packing --backup=numbered
check "a numbered backup is the carrier replaced, its time kept" same_file 'Ωmega 日本.GIF.~1~' before.GIF
edit && packing -b
check "-b numbers the next backup where numbered ones exist" same_file 'Ωmega 日本.GIF.~2~' before.GIF
edit && packing -n -b
check "-n -v names the backup a pack would make" test "$(cat stdout.txt)" = 'Ωmega 日本.GIF <- Ωmega 日本.GIF.png, backup Ωmega 日本.GIF.~3~'
check "no other backup, no staging file" test "$(ls | grep -c '日本\.GIF\(~\|\.~\)')/$(ls | grep -c '\.temp$')" = "3/0"

version=$("${runner[@]}" "$convert" --version | tr -d '\r')
check "version" test "$version" = "quillane-convert $QUILLANE_VERSION ($QUILLANE_FILE_VERSION)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
