#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time from
# seeds made by the fixture builder. Prints one line per target; fails on any
# crash, leak, timeout, memory blow-up or sanitizer report.
#   tests/fuzz/run.sh [BUILD_DIR]     (FUZZ_SECONDS in all, default 60)
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/deps.sh
install_missing "${FUZZ_PACKAGES[@]}"

build=${1:-build/fuzz}
total=${FUZZ_SECONDS:-60}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILLANE_FUZZ=ON -DQUILLANE_TESTS=OFF >/dev/null
cmake --build "$build" --target make-fuzz-seeds fuzz-container fuzz-bitmap fuzz-pipeline fuzz-large \
  fuzz-job fuzz-picture

work="$build/fuzz-run"
rm -rf "$work/seeds" "$work/logs"
mkdir -p "$work/logs" "$work/artifacts"
"$build/tests/fuzz/make-fuzz-seeds" "$work/seeds"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1
failed=0
for target in container bitmap pipeline large job picture; do
  # The bitmap writer, the pipeline and the picture decoder have the most
  # branches; the large payloads add few to the pipeline's, and the whole job
  # is slow per input.
  seeds="$work/seeds/carrier" seconds=$((total / 5))
  case $target in
    bitmap) seeds="$work/seeds/bitmap" ;;
    picture) seeds="$work/seeds/picture" ;;
    container) seconds=$((total / 6)) ;;
    large) seeds="$work/seeds/head" seconds=$((total / 10)) ;;
    job) seconds=$((total / 10)) ;;
  esac
  # New inputs gather in a corpus kept in the build folder between runs.
  corpus="$work/corpus/$target"
  mkdir -p "$corpus"
  log="$work/logs/$target.log"
  status=0
  "$build/tests/fuzz/fuzz-$target" "$corpus" "$seeds" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/$target-" \
    >"$log" 2>&1 || status=$?
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
  if [ "$status" -ne 0 ] || [ -z "$done_line" ] ||
     grep -qE 'ERROR: [A-Za-z]+Sanitizer|runtime error:|fuzz check failed|ERROR: libFuzzer' "$log"; then
    echo "fuzz $target: FAILED (exit $status), log $log"
    grep -E 'ERROR|runtime error|fuzz check failed|SUMMARY|Test unit written' "$log" | head -n 20 || true
    failed=1
    continue
  fi
  runs=${done_line%%[[:space:]]*}
  echo "fuzz $target: ${runs#\#} runs in ${seconds}s, cov $(sed -E 's/.*cov: ([0-9]+).*/\1/' <<<"$done_line")," \
    "ft $(sed -E 's/.*ft: ([0-9]+).*/\1/' <<<"$done_line"), corpus $(sed -E 's/.*corp: ([^ ]+).*/\1/' <<<"$done_line")," \
    "$(sed -E 's/.*exec\/s: ([0-9]+).*/\1/' <<<"$done_line") exec/s"
done
exit "$failed"
