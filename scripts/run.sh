#!/usr/bin/env bash
# Builds Quillane and opens its drop window, under Wine on Linux.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

echo "Building..."
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native >/dev/null
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win >/dev/null

samples="$PWD/build/samples"
mkdir -p "$samples"
build/native/tests/make-carrier --width 120 --height 80 "$samples/title.gif"

if [ -z "${DISPLAY:-}" ]; then
  echo "There is no display here (DISPLAY is not set), so the drop window cannot open."
  echo "The command-line converter does the same work; converting the sample with it:"
  echo "  build/native/quillane-convert $samples/title.gif"
  build/native/quillane-convert "$samples/title.gif"
  echo "Wrote $samples/title.gif.bmp"
  exit 0
fi
echo "Opening the Quillane window. Drop .gif files on it; each becomes <name>.gif.bmp"
echo "beside it. A sample to try: $samples/title.gif. Escape or the close button ends it."
exec cmake/wine-run.sh win32 "$PWD/build/wineprefix" build/win/Quillane.exe
