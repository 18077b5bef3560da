#!/usr/bin/env bash
# What an installer gets: cpack's package holds the programs (and, on Linux,
# their manual pages, which render cleanly and name every option --help names;
# on Windows, a README.txt that Windows' editors show, telling what each of the
# window's messages means).
# Usage: package_test.sh BUILD_DIR [PROGRAM_DIR MANUAL_DIR]
#   On Windows, QUILLANE_VERSION is the project's version and QUILLANE_README
#   the path of README.md.
set -u
build=$1 programs=${2:-} manuals=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); echo "PASS $1"; else failed=$((failed + 1)); echo "FAIL $1"; fi
}

(cd "$build" && cpack -B "$work" >"$work/cpack.log" 2>&1) || cat "$work/cpack.log"
if [ -n "$manuals" ]; then
  dpkg-deb -c "$work"/*.deb | awk '{ print $6 }' >"$work/contents"
  for tool in quillane-convert quillane-pack; do
    manual=$manuals/$tool.1
    check "the .deb holds $tool" grep -qx "./usr/bin/$tool" "$work/contents"
    check "the .deb holds the manual page of $tool" grep -qx "./usr/share/man/man1/$tool.1" "$work/contents"
    check "man renders the page of $tool without a warning" test -z "$(groff -man -Tutf8 -ww -z "$manual" 2>&1)"
    MANWIDTH=80 man -l "$manual" 2>/dev/null | col -b >"$work/page"
    options=$("$programs/$tool" --help | grep -oE -- '--[a-z-]+' | sort -u)
    check "$tool --help names options" test -n "$options"
    for option in $options; do check "the page of $tool tells of $option" grep -q -- "$option" "$work/page"; done
  done
else
  # The zip holds one folder named as the zip is, for the architecture its
  # programs are built for: the machine field of Quillane.exe's PE header
  # (0x14c i386, 0x8664 AMD64), read from the offset at 0x3C.
  zip=$(ls "$work"/*.zip)
  python3 -m zipfile -l "$zip" | awk 'NR > 1 { print $1 }' >"$work/contents"
  python3 -m zipfile -e "$zip" "$work/unpacked"
  folder=$(ls "$work/unpacked")
  exe=$work/unpacked/$folder/Quillane.exe
  header=$(od -An -tu4 -j 60 -N4 "$exe" | tr -d ' ')
  machine=$(od -An -tx2 -j $((header + 4)) -N2 "$exe" | tr -d ' ')
  case $machine in 014c) arch=x86 ;; 8664) arch=x64 ;; *) arch="machine $machine" ;; esac
  name=quillane-$QUILLANE_VERSION-$arch-windows
  check "the .zip is named for its architecture" test "${zip##*/}" = "$name.zip"
  check "the .zip unpacks into a folder of that name" test -z "$(grep -v "^$name/" "$work/contents")"
  for program in Quillane.exe quillane-convert.exe quillane-pack.exe README.txt; do
    check "the .zip holds $program" grep -qx "$name/$program" "$work/contents"
  done
  # The tools' test seam pauses only where its variable asks; the window has none.
  check "the window carries no test seam" test "$(grep -c QUILLANE_STOP_AT "$exe")" = 0
  readme=$work/unpacked/$folder/README.txt
  check "README.txt ends every line in CRLF, as Windows' editors expect" \
    test "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" -a "$(tail -c2 "$readme" | od -An -tx1)" = " 0d 0a"
  check "README.txt starts with UTF-8's byte order mark" test "$(head -c3 "$readme" | od -An -tx1)" = " ef bb bf"
  check "README.txt is UTF-8" iconv -f UTF-8 -t UTF-8 "$readme" -o /dev/null
  check "README.txt names the version" grep -q "^.*Quillane $QUILLANE_VERSION " "$readme"
  # Each of the window's messages with its meaning, as README.md's table has them.
  flat=$(tr -s ' \r\n' ' ' <"$readme")
  messages=0
  while IFS='|' read -r _ message meaning _; do
    message=$(echo "$message" | sed 's/^ *//; s/ *$//') meaning=$(echo "$meaning" | tr -d '`' | sed 's/^ *//; s/ *$//')
    messages=$((messages + 1))
    check "README.txt tells what $message means" grep -qF -- "$message $meaning" <<<"$flat"
  done < <(sed -n '/^| Message | Meaning |$/,/^$/p' "$QUILLANE_README" | tail -n +3 | grep '^|')
  check "README.md's table has the window's six messages" test "$messages" -eq 6
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
