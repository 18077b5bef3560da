#!/usr/bin/env bash
# What an installer gets: cpack's package holds the programs (and, on Linux,
# their manual pages, which render cleanly and name every option --help names).
# Usage: package_test.sh BUILD_DIR [PROGRAM_DIR MANUAL_DIR]
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
  python3 -m zipfile -l "$work"/*.zip | awk 'NR > 1 { print $1 }' >"$work/contents"
  check "the .zip holds Quillane.exe" grep -qx 'Quillane.exe' "$work/contents"
  check "the .zip holds quillane-convert.exe" grep -qx 'quillane-convert.exe' "$work/contents"
  check "the .zip holds quillane-pack.exe" grep -qx 'quillane-pack.exe' "$work/contents"
  check "the .zip says what each program is" grep -qx 'README.txt' "$work/contents"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
