#!/usr/bin/env bash
# What an installer gets: cpack's package holds the programs (and, on Linux,
# the manual page, which renders cleanly and names every option --help names).
# Usage: package_test.sh BUILD_DIR [CONVERTER MANUAL_PAGE]
set -u
build=$1 convert=${2:-} manual=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}"; then passed=$((passed + 1)); echo "PASS $1"; else failed=$((failed + 1)); echo "FAIL $1"; fi
}

(cd "$build" && cpack -B "$work" >"$work/cpack.log" 2>&1) || cat "$work/cpack.log"
if [ -n "$manual" ]; then
  dpkg-deb -c "$work"/*.deb | awk '{ print $6 }' >"$work/contents"
  check "the .deb holds the converter" grep -qx './usr/bin/quillane-convert' "$work/contents"
  check "the .deb holds the manual page" grep -qx './usr/share/man/man1/quillane-convert.1' "$work/contents"
  check "man renders the page without a warning" \
    test -z "$(groff -man -Tutf8 -ww -z "$manual" 2>&1)"
  MANWIDTH=80 man -l "$manual" 2>/dev/null | col -b >"$work/page"
  options=$("$convert" --help | grep -oE -- '--[a-z-]+' | sort -u)
  check "--help names options" test -n "$options"
  for option in $options; do check "the manual page tells of $option" grep -q -- "$option" "$work/page"; done
else
  python3 -m zipfile -l "$work"/*.zip | awk 'NR > 1 { print $1 }' >"$work/contents"
  check "the .zip holds Quillane.exe" grep -qx 'Quillane.exe' "$work/contents"
  check "the .zip holds quillane-convert.exe" grep -qx 'quillane-convert.exe' "$work/contents"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
