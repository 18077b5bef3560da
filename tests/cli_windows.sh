#!/usr/bin/env bash
# quillane-convert.exe under Wine: Unicode names convert, messages arrive as
# the Linux build prints them, UTF-8 when standard error is redirected, in
# English or Japanese as the user's language says; an output another program
# holds for a moment is still replaced; patterns are matched as in cmd; Ctrl-C ends a batch cleanly; a catalogue's paths; quillane-pack.exe keeps backups.
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

# The catalogue: the index names a source as the command line does, with
# backslashes, and an output from the catalogue's folder, as SHA256SUMS and
# the page's links do, with forward slashes.
run C.UTF-8 -q -r -o 出力 --catalogue tree
check "SHA256SUMS verifies with forward slashes" test "$(cd 出力 && sha256sum -c --strict SHA256SUMS 2>&1)" = "下/ソ.gif.bmp: OK"
check "the page links the picture by a URL" grep -q '<a href="%E4%B8%8B/%E3%82%BD.gif.bmp"><img data-src="%E4%B8%8B/%E3%82%BD.gif.bmp"' 出力/index.html
check "the index names its source as the command line does, its output from its folder" grep -q '"source": "tree\\\\下\\\\ソ.gif", "output": "下/ソ.gif.bmp"' 出力/index.json
check "the index's hashes are sha256sum's" grep -q "\"carrierSha256\": \"$(sha256sum tree/下/ソ.gif | cut -c1-64)\", \"payloadSha256\": \"[0-9a-f]*\", \"outputSha256\": \"$(sha256sum 出力/下/ソ.gif.bmp | cut -c1-64)\"" 出力/index.json

# An indexer or scanner holding the output for a moment delays the rename; one
# holding it for longer makes it fail, and the earlier output stays. The
# earlier output is no picture, which only --force replaces.
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

# cmd passes a pattern as typed; the tools match it as cmd's own commands do:
# in the last name only, letter case ignored, hidden files left out (Wine
# hides dot files), in NTFS's order (letters compared as capitals, so _
# after them), each name after the folder as typed. The ? of ?.gif is one character, any
# language's. A pattern matching nothing is a file not found.
mkdir -p pat/res 'pat/my pictures' want/res 'want/my pictures'
seed=60
for name in A.gif b.gif c.GIF ab.gif _.gif ソ.gif .hidden.gif res/x.GIF res/y.gif 'my pictures/z.gif'; do
  seed=$((seed + 1))
  "${runner[@]}" "$make" --width 3 --height 2 --seed "$seed" new.gif new.bmp >/dev/null &&
    mv new.gif "pat/$name" && mv new.bmp "want/$name.bmp"
done
converted() {  # converted NAME...: each NAME.bmp in pat/ is the one expected
  local name
  for name in "$@"; do cmp -s "pat/$name.bmp" "want/$name.bmp" || return 1; done
}
(cd pat && run C.UTF-8 -v '*.gif' >../stdout.txt 2>../stderr.txt)
check "*.gif: every .gif and .GIF file in name order, no hidden one" \
  test "$(cat stdout.txt)/$(cat stderr.txt)" = "$(printf 'A.gif -> A.gif.bmp\nab.gif -> ab.gif.bmp\nb.gif -> b.gif.bmp\nc.GIF -> c.GIF.bmp\n_.gif -> _.gif.bmp\nソ.gif -> ソ.gif.bmp')/6 files: 6 converted, 0 failed"
check "*.gif: each converted byte for byte" converted A.gif ab.gif b.gif c.GIF _.gif ソ.gif
check "*.gif: the hidden file left alone" test ! -e pat/.hidden.gif.bmp
(cd pat && run C.UTF-8 -q -o one '?.GIF')
check "?.GIF: names of one character before .gif, ソ too" \
  test "$(ls pat/one | LC_ALL=C sort | tr '\n' ' ')" = "A.gif.bmp _.gif.bmp b.gif.bmp c.GIF.bmp ソ.gif.bmp "
(cd pat && run C.UTF-8 -v 'res\*.GIF' >../stdout.txt)
check "res\\*.GIF: the folder kept as typed" \
  test "$(cat stdout.txt)" = "$(printf 'res\\x.GIF -> res\\x.GIF.bmp\nres\\y.gif -> res\\y.gif.bmp')"
check "res\\*.GIF: both converted" converted res/x.GIF res/y.gif
run C.UTF-8 -q -o verbatim "\\\\?\\Z:$(pwd | tr / '\\')\\pat\\res\\*.GIF"
check "a pattern in a \\\\?\\ name, whose ? is none" test "$(ls verbatim | tr '\n' ' ')" = "x.GIF.bmp y.gif.bmp "
cp "$convert" qc.exe
(cd pat && LANG=C.UTF-8 LC_ALL=C.UTF-8 "${runner[@]}" cmd /c '..\qc.exe' -v 'my pictures\*.gif' >../stdout.txt 2>&1)
check "a quoted pattern in cmd is matched as dir matches it" \
  test "$(cat stdout.txt)" = 'my pictures\z.gif -> my pictures\z.gif.bmp'
check "the quoted pattern's file converted" converted 'my pictures/z.gif'
(cd pat && run C.UTF-8 '*.png' '.h*.gif' 'nothere\*.gif' '*\x.GIF' 2>../stderr.txt)
code=$?
expected='quillane-convert: *.png: cannot open: File not found
quillane-convert: .h*.gif: cannot open: File not found
quillane-convert: nothere\*.gif: cannot open: Path not found
quillane-convert: *\x.GIF: cannot open: Invalid name
4 files: 0 converted, 4 failed'
check "a pattern matching nothing, or only hidden files, is a file not found" test "$code/$(cat stderr.txt)" = "1/$expected"

# quillane-pack.exe res\*.GIF puts back what was edited of the carriers it matches.
cp pat/res/x.GIF x.original
(cd pat && run C.UTF-8 -q -f png 'res\*.GIF')
/usr/bin/python3 -c "from PIL import Image; i = Image.open('pat/res/y.gif.png'); i.paste((255, 0, 0), (0, 0, 2, 1)); i.save('pat/res/y.gif.png')"
(cd pat && LANG=C.UTF-8 LC_ALL=C.UTF-8 "${runner[@]}" "$pack" -v 'res\*.GIF' >../stdout.txt 2>../stderr.txt)
check "quillane-pack res\\*.GIF: the edited carrier packed, the other unchanged" \
  test "$(cat stdout.txt)/$(cat stderr.txt)" = "$(printf 'res\\x.GIF: unchanged (res\\x.GIF.png)\nres\\y.gif <- res\\y.gif.png: 2 pixels in 2 x 1 at 0, 0; res\\y.gif.bmp now shows it too')/2 carriers: 1 packed, 1 already hold their pictures, 0 failed"
(cd pat && run C.UTF-8 -q -f png -o again 'res\*.GIF')
same=$(/usr/bin/python3 -c "from PIL import Image; print(list(Image.open('pat/again/y.gif.png').getdata()) == list(Image.open('pat/res/y.gif.png').getdata()))")
check "quillane-pack res\\*.GIF: the edit comes out again, the other carrier as it was" \
  test "$same" = True -a "$(cmp -s pat/res/x.GIF x.original && echo same)" = same

# Ctrl-C, which SIGINT is under Wine, while the batch works on its third file,
# where the test seam holds it until then: that file is finished, no other is
# started, and the summary says so. A second one, the batch held again before
# its rename, ends it at once, the earlier output kept and nothing left.
interrupt() {  # interrupt STOPS SIGNALS...: each signal once the step before it shows
  local stops=$1 pid shown
  shift
  rm -f [a-e].gif.bmp && printf old >c.gif.bmp
  QUILLANE_STOP_AT=$stops LANG=C.UTF-8 LC_ALL=C.UTF-8 "${runner[@]}" "$convert" --force -j 1 a.gif b.gif c.gif d.gif e.gif 2>stderr.txt &
  pid=$!
  for shown in "$@"; do
    # c.gif.temp once it is made, held there; with data once the first Ctrl-C let it go.
    for _ in $(seq 600); do test "$shown" "c.gif.temp" && break; sleep 0.1; done
    kill -INT "$pid"
  done
  wait "$pid"
}
for n in a b c d e; do cp 'ソ.gif' $n.gif; done
interrupt staged@c.gif.temp -e
code=$?
check "Ctrl-C: the batch says what it did not start, and exits 130" \
  test "$code/$(tr -d '\r' <stderr.txt)" = "130/quillane-convert: c.gif.bmp: replaced: it is no picture of its carrier's bitmap (not a PNG or BMP picture)
5 files: 3 converted, 0 failed, 1 edits replaced, 2 not started: interrupted"
check "Ctrl-C: the files started are converted, no other" \
  test "$(cmp a.gif.bmp sonly.expected && cmp c.gif.bmp sonly.expected && ls [a-e].gif.bmp | tr '\n' ' ')" = "a.gif.bmp b.gif.bmp c.gif.bmp "
check "Ctrl-C: no staging file left" test -z "$(ls | grep '\.temp$')"
interrupt staged@c.gif.temp,replace@c.gif.temp -e -s
code=$?
check "Ctrl-C twice: the batch ends at once, exit 130, the output being written kept as it was" \
  test "$code/$(cat c.gif.bmp)/$(ls [a-e].gif.bmp | tr '\n' ' ')" = "130/old/a.gif.bmp b.gif.bmp c.gif.bmp "
check "Ctrl-C twice: no staging file left" test -z "$(ls | grep '\.temp$')"
rm -f [a-e].gif [a-e].gif.bmp
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
check "-v names the backup" test "$(cat stdout.txt)" = 'Ωmega 日本.GIF <- Ωmega 日本.GIF.png: 8 pixels in 4 x 2 at 0, 0, backup Ωmega 日本.GIF~'
edit && packing --backup=numbered
check "a numbered backup is the carrier replaced, its time kept" same_file 'Ωmega 日本.GIF.~1~' before.GIF
edit && packing -b
check "-b numbers the next backup where numbered ones exist" same_file 'Ωmega 日本.GIF.~2~' before.GIF
edit && packing -n -b
check "-n -v names the backup a pack would make" test "$(cat stdout.txt)" = 'Ωmega 日本.GIF <- Ωmega 日本.GIF.png: 8 pixels in 4 x 2 at 0, 0, backup Ωmega 日本.GIF.~3~'
check "no other backup, no staging file" test "$(ls | grep -c '日本\.GIF\(~\|\.~\)')/$(ls | grep -c '\.temp$')" = "3/0"

version=$("${runner[@]}" "$convert" --version | tr -d '\r')
check "version" test "$version" = "quillane-convert $QUILLANE_VERSION ($QUILLANE_FILE_VERSION)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
