#!/usr/bin/env bash
# Builds the three Windows programs, Quillane.exe, quillane-convert.exe and
# quillane-pack.exe, for both architectures: 32-bit in build/win, 64-bit in
# build/win64, each folder then ready for cpack to zip. Nothing is run, so any
# machine can, with or without Wine or 32-bit support.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${WINDOWS_BUILD_PACKAGES[@]}"
fetch_source libpng1.6

for bits in 32 64; do
  if [ "$bits" = 32 ]; then
    folder=build/win toolchain=cmake/mingw-i686.cmake
  else
    folder=build/win64 toolchain=cmake/mingw-x86_64.cmake
  fi
  echo "== Building the ${bits}-bit Windows programs in $folder"
  configure_windows "$folder" "$toolchain"
  cmake --build "$folder" --target Quillane quillane-convert quillane-pack
done
echo "build/win (32-bit) and build/win64 (64-bit) each hold Quillane.exe, quillane-convert.exe and quillane-pack.exe."
echo "(cd build/win && cpack) and (cd build/win64 && cpack) zip them."
