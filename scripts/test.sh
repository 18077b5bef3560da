#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
install_missing "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"
ensure_japanese_locale

echo "== Linux build"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLANE_BENCH=ON >/dev/null
cmake --build build/native
ctest --test-dir build/native --output-on-failure
# The robustness figures: fault cases run and the soak's outcome.
grep -hE '^(fault cases|soak):' build/native/Testing/Temporary/LastTest.log

echo "== The same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLANE_SANITIZE=ON >/dev/null
cmake --build build/sanitize
ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure

echo "== About a minute of fuzzing"
bash tests/fuzz/run.sh build/fuzz

echo "== Windows build, tested under Wine"
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/win
ctest --test-dir build/win --output-on-failure
