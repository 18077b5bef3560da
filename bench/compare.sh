#!/usr/bin/env bash
# Times quillane-convert against cp moving the same files, in alternating
# rounds, and prints the median ratio (min-max) and peak resident memory.
#   bench/compare.sh [--dir FOLDER] [--rounds N] [--program PATH]
#   --dir FOLDER    make the work folder inside FOLDER (default /dev/shm, tmpfs)
#   --rounds N      timed rounds (default 9)
#   --program PATH  time this quillane-convert instead of the tree's release build
# Large file: one conversion against one "cp src out", which reads and writes
# every byte once, as a conversion must; the same for rows stored packed,
# which are padded on the way out. Batch: one quillane-convert call over
# 2,000 small carriers, at the default jobs and at -j 1, against "cp -r" of
# their folder.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."

parent=/dev/shm
rounds=9
program=
while [ $# -gt 0 ]; do
  case "$1" in
    --dir) parent="${2:?--dir needs a folder}"; shift 2 ;;
    --rounds) rounds="${2:?--rounds needs a number}"; shift 2 ;;
    --program) program="$(realpath "${2:?--program needs a path}")"; shift 2 ;;
    *) echo "usage: bench/compare.sh [--dir FOLDER] [--rounds N] [--program PATH]" >&2; exit 2 ;;
  esac
done

source scripts/deps.sh
install_missing "${NATIVE_PACKAGES[@]}"

build=build/compare
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quillane-convert make-carrier >/dev/null
convert="${program:-$PWD/$build/quillane-convert}"
make_carrier="$PWD/$build/tests/make-carrier"

work="$(mktemp -d "$parent/quillane-compare.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

# 4096 x 5461 pixels: a payload of 64 MiB less 4 KiB; 4095 x 5461 packed,
# 16 KiB less. 64 x 53: 10,230 bytes.
echo "Making the carriers in $work ..."
"$make_carrier" --width 4096 --height 5461 large.gif expected.bmp
"$make_carrier" --width 4095 --height 5461 --packed packed.gif expected-packed.bmp
payload=$(stat -c %s expected.bmp)
packed_payload=$(($(stat -c %s expected-packed.bmp) - 3 * 5461))
mkdir batch
for i in $(seq -w 0 1999); do
  "$make_carrier" --width 64 --height 53 --seed "$((10#$i))" "batch/$i.gif"
done
"$make_carrier" --width 64 --height 53 --seed 1999 last.gif last.bmp

# Seconds taken by the command, on standard output.
Elapsed() {
  local start=$EPOCHREALTIME
  "$@"
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f\n", b - a }'
}

CopyLarge() { cp large.gif out; }
ConvertLarge() { "$convert" large.gif; }
CopyPacked() { cp packed.gif out; }
ConvertPacked() { "$convert" packed.gif; }
CopyBatch() { cp -r batch copy; }
ConvertBatch() { "$convert" -q -r batch; }
ConvertBatchOneJob() { "$convert" -q -j 1 -r batch; }

# Each timed command starts from the same files, with earlier writes flushed.
Timed() {
  rm -rf out large.gif.bmp packed.gif.bmp copy
  rm -f batch/*.bmp
  sync
  Elapsed "$1"
}

Ratio() { awk -v q="$1" -v c="$2" 'BEGIN { print q / c }'; }

large_ratios=() packed_ratios=() batch_ratios=() one_ratios=()
large_cp=() large_q=() packed_cp=() packed_q=() batch_cp=() batch_q=() one_q=()
for round in $(seq 1 "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then
    c=$(Timed CopyLarge); q=$(Timed ConvertLarge); cp_=$(Timed CopyPacked); qp=$(Timed ConvertPacked)
    cb=$(Timed CopyBatch); qb=$(Timed ConvertBatch); q1=$(Timed ConvertBatchOneJob)
  else
    q=$(Timed ConvertLarge); c=$(Timed CopyLarge); qp=$(Timed ConvertPacked); cp_=$(Timed CopyPacked)
    q1=$(Timed ConvertBatchOneJob); qb=$(Timed ConvertBatch); cb=$(Timed CopyBatch)
  fi
  large_cp+=("$c") large_q+=("$q") packed_cp+=("$cp_") packed_q+=("$qp")
  batch_cp+=("$cb") batch_q+=("$qb") one_q+=("$q1")
  large_ratios+=("$(Ratio "$q" "$c")") packed_ratios+=("$(Ratio "$qp" "$cp_")")
  batch_ratios+=("$(Ratio "$qb" "$cb")") one_ratios+=("$(Ratio "$q1" "$cb")")
  echo "round $round: large ${q}s vs ${c}s, packed ${qp}s vs ${cp_}s, batch ${qb}s (-j 1 ${q1}s) vs ${cb}s"
done

# The timed runs must have been real conversions.
ExpectSame() { cmp -s "$1" "$2" || { echo "$1 is not the expected bitmap" >&2; exit 1; }; }
Timed ConvertLarge >/dev/null
ExpectSame large.gif.bmp expected.bmp
Timed ConvertPacked >/dev/null
ExpectSame packed.gif.bmp expected-packed.bmp
Timed ConvertBatch >/dev/null
ExpectSame batch/1999.gif.bmp last.bmp
Timed ConvertBatchOneJob >/dev/null
ExpectSame batch/1999.gif.bmp last.bmp

# "median (min-max)" of the numbers given, scaled by $1.
Summary() {
  local scale=$1; shift
  printf '%s\n' "$@" | sort -g | awk -v s="$scale" '
    { v[NR] = $1 * s }
    END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
          printf "%.2f (%.2f-%.2f)", m, v[1], v[NR] }'
}

# Peak resident set of one run, in MiB.
PeakMiB() {
  rm -rf large.gif.bmp packed.gif.bmp batch/*.bmp
  /usr/bin/time -f %M -o rss "$@"
  awk '{ printf "%.1f", $1 / 1024 }' rss
}

echo
echo "Work folder: $parent ($(stat -f -c %T "$parent")), $rounds rounds, median (min-max)"
echo "Large file, payload $payload bytes:"
echo "  quillane-convert $(Summary 1000 "${large_q[@]}") ms, cp $(Summary 1000 "${large_cp[@]}") ms"
echo "  ratio $(Summary 1 "${large_ratios[@]}") (target 1.3)"
echo "  peak resident $(PeakMiB "$convert" large.gif) MiB (target 16)"
echo "Large file with packed rows, 4095 x 5461, payload $packed_payload bytes:"
echo "  quillane-convert $(Summary 1000 "${packed_q[@]}") ms, cp $(Summary 1000 "${packed_cp[@]}") ms"
echo "  ratio $(Summary 1 "${packed_ratios[@]}") (target 1.3)"
echo "  peak resident $(PeakMiB "$convert" packed.gif) MiB (target 16)"
echo "Batch of 2000 carriers in one call, $(nproc) processors:"
echo "  quillane-convert $(Summary 1000 "${batch_q[@]}") ms, -j 1 $(Summary 1000 "${one_q[@]}") ms," \
  "cp -r $(Summary 1000 "${batch_cp[@]}") ms"
echo "  ratio $(Summary 1 "${batch_ratios[@]}") (target 0.8), -j 1 $(Summary 1 "${one_ratios[@]}") (target 1.2)"
echo "  peak resident $(PeakMiB "$convert" -q -r batch) MiB (target 16)"
