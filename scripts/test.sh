#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
ensure_japanese_locale

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native
ctest --test-dir build/native --output-on-failure

cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win
ctest --test-dir build/win --output-on-failure
