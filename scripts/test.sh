#!/usr/bin/env bash
# Installs what is missing, builds and runs the tests: every stage, or those
# named (native, sanitize, fuzz, windows), in that order.
#   scripts/test.sh [STAGE...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(native sanitize fuzz windows)
for stage in "${stages[@]}"; do
  case $stage in
    native | sanitize | fuzz | windows) ;;
    *) echo "usage: scripts/test.sh [native|sanitize|fuzz|windows]..." >&2; exit 2 ;;
  esac
done
wants() { printf '%s\n' "${stages[@]}" | grep -qx "$1"; }

packages=()
wants native || wants sanitize && packages+=("${NATIVE_PACKAGES[@]}" "${EDITOR_PACKAGES[@]}")
wants fuzz && packages+=("${FUZZ_PACKAGES[@]}")
if wants windows; then
  decide_wine32
  packages+=("${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${EDITOR_PACKAGES[@]}")
fi
install_missing "${packages[@]}"
if wants windows; then
  install_wine32
  fetch_source libpng1.6
fi
ensure_japanese_locale

native() {
  echo "== Linux build"
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLANE_BENCH=ON >/dev/null
  cmake --build build/native
  ctest --test-dir build/native --output-on-failure
  # The robustness figures: fault cases run, the interrupted conversions and the soak.
  grep -hE '^(fault cases|kills|races|soak):' build/native/Testing/Temporary/LastTest.log
}

sanitize() {
  echo "== The same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLANE_SANITIZE=ON >/dev/null
  cmake --build build/sanitize
  ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/sanitize --output-on-failure
}

fuzz() {
  echo "== About a minute of fuzzing"
  bash tests/fuzz/run.sh build/fuzz
}

windows() {
  echo "== 64-bit Windows build, tested under Wine"
  configure_windows build/win64 cmake/mingw-x86_64.cmake
  configure_windows build/win cmake/mingw-i686.cmake
  cmake --build build/win64
  # The 32-bit build compiles while the 64-bit tests, which mostly wait on
  # Wine, run; at low priority, so that they keep their pace. Without Wine only
  # the tests that read the built programs apply, and they need nothing else.
  local win32_targets=(all) win32_build wine32_skip tested
  [ -n "$WINE32_OFF" ] && win32_targets=(Quillane quillane-convert quillane-pack)
  nice cmake --build build/win --target "${win32_targets[@]}" >build/win/build.log 2>&1 &
  win32_build=$!
  trap wait EXIT
  ctest --test-dir build/win64 --output-on-failure
  wait "$win32_build" || { cat build/win/build.log; exit 1; }

  if [ -z "$WINE32_OFF" ]; then
    echo "== 32-bit Windows build, tested under Wine"
    wine32_skip=()
    tested="64-bit and 32-bit."
  else
    echo "== 32-bit Windows build, checked without running it"
    wine32_skip=(--label-exclude wine)
    tested="64-bit only; the 32-bit build was checked but not run, since $WINE32_OFF."
  fi
  cat build/win/build.log
  ctest --test-dir build/win --output-on-failure "${wine32_skip[@]}"
  echo "Windows builds tested under Wine: $tested"
}

for stage in native sanitize fuzz windows; do
  if wants "$stage"; then "$stage"; fi
done
