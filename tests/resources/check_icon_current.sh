#!/usr/bin/env bash
# The committed res/quillane.ico must be exactly what res/make_icon.py draws,
# so the build needs no Python yet the icon is never hand-edited or stale.
# Usage: check_icon_current.sh REPO_ROOT    (exit 77: skipped, no python3)
set -u

root=${1:?usage: check_icon_current.sh REPO_ROOT}
command -v python3 >/dev/null || { echo "SKIP python3 not installed"; exit 77; }

fresh=$(mktemp) && trap 'rm -f "$fresh"' EXIT
python3 "$root/res/make_icon.py" "$fresh" || { echo "FAIL make_icon.py did not run"; exit 1; }
if cmp -s "$fresh" "$root/res/quillane.ico"; then
    echo "PASS res/quillane.ico matches res/make_icon.py"
else
    echo "FAIL res/quillane.ico differs from res/make_icon.py output; rerun: python3 res/make_icon.py res/quillane.ico"
    exit 1
fi
