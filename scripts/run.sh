#!/usr/bin/env bash
# Builds Quillane and opens its drop window, under Wine on Linux: the 32-bit
# Quillane.exe, the one Windows users get, where this machine can run it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
decide_wine32
install_missing "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
fetch_source libpng1.6

if [ -z "$WINE32_OFF" ]; then
  bits=32 win=build/win toolchain=cmake/mingw-i686.cmake wine_arch=win32
else
  bits=64 win=build/win64 toolchain=cmake/mingw-x86_64.cmake wine_arch=win64
fi

echo "Building..."
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native >/dev/null
configure_windows "$win" "$toolchain"
cmake --build "$win" --target Quillane >/dev/null

samples="$PWD/build/samples"
mkdir -p "$samples"
# A real picture in the game's form: rows top-down under a positive height,
# packed without padding.
/usr/bin/convert rose: -resize 200% -flip -type TrueColor BMP3:"$samples/rose.bmp"
build/native/tests/make-carrier --payload "$samples/rose.bmp" --packed "$samples/title.gif"

if [ -z "${DISPLAY:-}" ]; then
  echo "There is no display here (DISPLAY is not set), so the drop window cannot open."
  echo "The command-line converter does the same work; converting the sample with it:"
  echo "  build/native/quillane-convert $samples/title.gif"
  build/native/quillane-convert "$samples/title.gif"
  echo "Wrote $samples/title.gif.bmp"
  exit 0
fi
echo "Opening the ${bits}-bit Quillane window ($win/Quillane.exe)${WINE32_OFF:+, since $WINE32_OFF}."
echo "Drop .gif files on it; each becomes <name>.gif.bmp beside it."
echo "A sample to try: $samples/title.gif. Escape or the close button ends it."
exec cmake/wine-run.sh "$wine_arch" "$PWD/$win/wineprefix" "$win/Quillane.exe"
