#!/usr/bin/env bash
# Builds Quillane and opens its drop window, under Wine on Linux: the 32-bit
# Quillane.exe, the one Windows users get, where this machine can run it.
# Without a display it builds the Linux tools alone and converts a sample.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

# Sets NO_DISPLAY to why Wine could open no window here, or to nothing when
# an X server answers at $DISPLAY.
find_display() {
  NO_DISPLAY=
  if [ -z "${DISPLAY:-}" ]; then
    NO_DISPLAY="DISPLAY is not set"
    return
  fi
  install_missing x11-utils
  timeout 10 xdpyinfo >/dev/null 2>&1 || NO_DISPLAY="no X server answers at DISPLAY=$DISPLAY"
}

echo "== Looking for a display"
find_display
packages=("${NATIVE_PACKAGES[@]}")
if [ -z "$NO_DISPLAY" ]; then
  decide_wine32
  packages+=("${WINDOWS_PACKAGES[@]}")
fi
install_missing "${packages[@]}"
if [ -z "$NO_DISPLAY" ]; then install_wine32; fi

echo "== Building the Linux tools in build/native"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native --target quillane-convert quillane-pack make-carrier

if [ -z "$NO_DISPLAY" ]; then
  if [ -z "$WINE32_OFF" ]; then
    bits=32 win=build/win toolchain=cmake/mingw-i686.cmake wine_arch=win32
  else
    bits=64 win=build/win64 toolchain=cmake/mingw-x86_64.cmake wine_arch=win64
  fi
  fetch_source libpng1.6
  echo "== Building the ${bits}-bit Windows programs in $win"
  configure_windows "$win" "$toolchain"
  cmake --build "$win" --target Quillane quillane-convert quillane-pack
fi

samples="$PWD/build/samples"
echo "== Making a sample carrier, $samples/title.gif"
mkdir -p "$samples"
# A real picture in the game's form: rows top-down under a positive height,
# packed without padding.
/usr/bin/convert rose: -resize 200% -flip -type TrueColor BMP3:"$samples/rose.bmp"
build/native/tests/make-carrier --payload "$samples/rose.bmp" --packed "$samples/title.gif"

if [ -n "$NO_DISPLAY" ]; then
  echo "There is no display here ($NO_DISPLAY), so the drop window cannot open."
  echo "The command-line converter does the same work; converting the sample with it:"
  echo "  build/native/quillane-convert $samples/title.gif"
  build/native/quillane-convert "$samples/title.gif"
  echo "Wrote $samples/title.gif.bmp"
  exit 0
fi
[ -f "$win/wineprefix/system.reg" ] || echo "== Setting up Wine in $win/wineprefix, once"
echo "== Opening the ${bits}-bit Quillane window ($win/Quillane.exe)${WINE32_OFF:+, since $WINE32_OFF}"
echo "Drop .gif files on it; each becomes <name>.gif.bmp beside it."
echo "A sample to try: $samples/title.gif. Escape or the close button ends it."
exec cmake/wine-run.sh "$wine_arch" "$PWD/$win/wineprefix" "$win/Quillane.exe"
