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
# their folder; then the same call writing PNG, and one quillane-pack call
# putting 2,000 changed pictures back into those carriers, against it; and
# the PNG call with --catalogue, against it without. Peak memory for a
# 4096 x 4096 picture, written as PNG and packed. A catalogue of 10,000
# carriers: its time and peak memory, and how long Chromium takes to open
# its page, offline, until its script runs; the same for the review of a
# pack of the 2,000 small carriers.
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
cmake --build "$build" --target quillane-convert quillane-pack make-carrier >/dev/null
convert="${program:-$PWD/$build/quillane-convert}"
pack="$PWD/$build/quillane-pack"
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
mkdir batch others
for i in $(seq -w 0 1999); do
  echo "--width 64 --height 53 --seed $((10#$i)) batch/$i.gif"
  echo "--width 64 --height 53 --seed $((10#$i + 5000)) others/$i.gif"
done >batch.txt
"$make_carrier" --list batch.txt
"$make_carrier" --width 64 --height 53 --seed 1999 last.gif last.bmp
# The pictures to pack: the carriers' sizes, other pixels, as PNG and BMP.
"$convert" -q -f png -o pictures -r others
"$convert" -q -o pictures-bmp -r others
cp -r batch carriers
"$make_carrier" --width 4096 --height 4096 square.gif
"$make_carrier" --width 4096 --height 4096 --seed 7 square-other.gif
"$convert" -q -f png square-other.gif && mv square-other.gif.png square.gif.png
square_bitmap=$((4096 * 4096 * 3 + 54))

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
ConvertBatchPng() { "$convert" -q -f png -r batch; }
# Again over its own outputs, which it reads to leave alone.
ConvertBatchAgain() { "$convert" -q -r batch; }
CatalogueBatch() { "$convert" -q -f png -r --catalogue batch; }
PackBatch() { "$pack" -q --from pictures -r pack; }
PackBatchBmp() { "$pack" -q --from pictures-bmp -r pack; }

# Each timed command starts from the same files, with earlier writes flushed.
Timed() {
  rm -rf out large.gif.bmp packed.gif.bmp copy pack
  rm -f batch/*.bmp batch/*.png
  cp -r carriers pack
  [ "$1" = ConvertBatchAgain ] && ConvertBatch
  sync
  Elapsed "$1"
}

Ratio() { awk -v q="$1" -v c="$2" 'BEGIN { print q / c }'; }

large_ratios=() packed_ratios=() batch_ratios=() one_ratios=() png_ratios=() pack_ratios=() bmp_pack_ratios=()
again_ratios=() catalogue_ratios=()
large_cp=() large_q=() packed_cp=() packed_q=() batch_cp=() batch_q=() one_q=() png_q=() pack_q=() bmp_pack_q=()
again_q=() catalogue_q=()
for round in $(seq 1 "$rounds"); do
  if [ $((round % 2)) -eq 1 ]; then
    c=$(Timed CopyLarge); q=$(Timed ConvertLarge); cp_=$(Timed CopyPacked); qp=$(Timed ConvertPacked)
    cb=$(Timed CopyBatch); qb=$(Timed ConvertBatch); q1=$(Timed ConvertBatchOneJob)
    qn=$(Timed ConvertBatchPng); qc=$(Timed CatalogueBatch); qk=$(Timed PackBatch); qkb=$(Timed PackBatchBmp)
    qa=$(Timed ConvertBatchAgain)
  else
    qa=$(Timed ConvertBatchAgain); qkb=$(Timed PackBatchBmp); qk=$(Timed PackBatch); qc=$(Timed CatalogueBatch)
    qn=$(Timed ConvertBatchPng)
    q=$(Timed ConvertLarge); c=$(Timed CopyLarge); qp=$(Timed ConvertPacked); cp_=$(Timed CopyPacked)
    q1=$(Timed ConvertBatchOneJob); qb=$(Timed ConvertBatch); cb=$(Timed CopyBatch)
  fi
  large_cp+=("$c") large_q+=("$q") packed_cp+=("$cp_") packed_q+=("$qp")
  batch_cp+=("$cb") batch_q+=("$qb") one_q+=("$q1") png_q+=("$qn") pack_q+=("$qk") bmp_pack_q+=("$qkb") again_q+=("$qa")
  again_ratios+=("$(Ratio "$qa" "$qb")") catalogue_q+=("$qc") catalogue_ratios+=("$(Ratio "$qc" "$qn")")
  png_ratios+=("$(Ratio "$qn" "$qb")") pack_ratios+=("$(Ratio "$qk" "$qb")") bmp_pack_ratios+=("$(Ratio "$qkb" "$qb")")
  large_ratios+=("$(Ratio "$q" "$c")") packed_ratios+=("$(Ratio "$qp" "$cp_")")
  batch_ratios+=("$(Ratio "$qb" "$cb")") one_ratios+=("$(Ratio "$q1" "$cb")")
  echo "round $round: large ${q}s vs ${c}s, packed ${qp}s vs ${cp_}s, batch ${qb}s (-j 1 ${q1}s) vs ${cb}s," \
    "PNG ${qn}s (catalogue ${qc}s), pack ${qk}s (BMP pictures ${qkb}s), again ${qa}s"
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
Timed PackBatch >/dev/null
cmp -s pack/1999.gif carriers/1999.gif && { echo "pack/1999.gif was not packed" >&2; exit 1; }
Timed CatalogueBatch >/dev/null
sha256sum -c --quiet SHA256SUMS || { echo "the catalogue's checksums do not hold" >&2; exit 1; }

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
  rm -rf large.gif.bmp packed.gif.bmp batch/*.bmp batch/*.png
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
echo "  PNG output $(Summary 1000 "${png_q[@]}") ms, ratio to BMP $(Summary 1 "${png_ratios[@]}") (target 3)"
echo "  again over its own outputs $(Summary 1000 "${again_q[@]}") ms, ratio to the first time" \
  "$(Summary 1 "${again_ratios[@]}") (target 1)"
echo "  quillane-pack, every picture changed, from PNG $(Summary 1000 "${pack_q[@]}") ms," \
  "ratio to converting $(Summary 1 "${pack_ratios[@]}") (target 1.5)"
echo "  the same from BMP $(Summary 1000 "${bmp_pack_q[@]}") ms, ratio $(Summary 1 "${bmp_pack_ratios[@]}") (target 1.5)"
echo "  PNG output with --catalogue $(Summary 1000 "${catalogue_q[@]}") ms, ratio to without $(Summary 1 "${catalogue_ratios[@]}") (target 2)"
echo "A 4096 x 4096 picture, a bitmap of $square_bitmap bytes (target $(awk -v b=$square_bitmap 'BEGIN { printf "%.0f", 3 * b / 1048576 + 16 }') MiB):"
echo "  peak resident writing PNG $(PeakMiB "$convert" -q -f png -o square-png square.gif) MiB," \
  "packing $(PeakMiB "$pack" -q square.gif) MiB"

# A catalogue of 10,000 carriers of 10 KiB in 100 folders, as PNG.
for i in $(seq 0 9999); do echo "--width 64 --height 53 --seed $i tree/d$((i % 100))/$i.gif"; done >tree.txt
for i in $(seq 0 99); do mkdir -p "tree/d$i"; done
"$make_carrier" --list tree.txt
rm -rf catalogue
/usr/bin/time -f "%e %M" -o catalogue-rss "$convert" -q -r -f png -o catalogue --catalogue tree
read -r seconds rss <catalogue-rss
# How long Chromium, offline and with a fresh profile, takes from asking for
# the page until its script has run: the page is then in use.
open_page() {
  /usr/bin/python3 - "$1" <<'PY'
import sys, tempfile
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
options = webdriver.ChromeOptions()
options.binary_location = "/usr/lib/chromium/chromium"
for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1200,900",
             "--user-data-dir=" + tempfile.mkdtemp()]:
    options.add_argument(flag)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
driver.execute_cdp_cmd("Network.emulateNetworkConditions",
                       {"offline": True, "latency": 0, "downloadThroughput": 0, "uploadThroughput": 0})
driver.get("file://" + sys.argv[1])
print(driver.execute_script("var t = performance.timing; return (t.domContentLoadedEventEnd - t.navigationStart) / 1000"))
driver.quit()
PY
}
# The median (min-max) of five openings of the page $1, in seconds.
in_use() {
  local opens=() _
  for _ in 1 2 3 4 5; do opens+=("$(open_page "$1")"); done
  Summary 1 "${opens[@]}"
}
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
echo "A catalogue of 10,000 carriers, as PNG:"
echo "  quillane-convert ${seconds}s, peak resident $(mib "$rss") MiB (target 32)," \
  "index.html $(stat -c %s catalogue/index.html) bytes"
echo "  the page in use in Chromium after $(in_use "$PWD/catalogue/index.html") s (target 3)"

# A review of a pack of those 2,000 carriers, every picture changed, from a check.
rm -rf pack review && cp -r carriers pack
/usr/bin/time -f "%e %M" -o review-rss "$pack" -q -n -r --from pictures --review review pack
read -r seconds rss <review-rss
echo "A review of a pack of 2,000 carriers, every picture changed:"
echo "  quillane-pack -n --review ${seconds}s, peak resident $(mib "$rss") MiB, review.html $(stat -c %s review/review.html) bytes"
echo "  the page in use in Chromium after $(in_use "$PWD/review/review.html") s (target 3)"
