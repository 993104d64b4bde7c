#!/usr/bin/env bash
# hfclip cutting 16 bytes off a 1 GiB file, beside
# `dd if=FILE of=OUT bs=1M iflag=skip_bytes skip=16` on the same file
# (target: hfclip / dd at most 1.0), and hfclip's peak memory for a small and
# the 1 GiB file (target: the same for both). Each time is the median of RUNS
# runs with the input in the page cache; before each run, untimed, the last
# run's output is removed, the file is put back whole and dirty pages are
# written out. At most two 1 GiB files exist at a time.
#
#   BUILD_DIR=build/default bench/hfclip.sh    (run from the source root)
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/default}
RUNS=${RUNS:-5}
source bench/common.sh

if [[ ! -x $BUILD_DIR/hfclip/hfclip ]]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build "$BUILD_DIR" -j2 --target hfclip > /dev/null
fi
BUILD_DIR=$(cd "$BUILD_DIR" && pwd)
HFCLIP=$BUILD_DIR/hfclip/hfclip

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
df -h "$WORK"
head -c 1G /dev/urandom > "$WORK/big"
head -c 4096 /dev/urandom > "$WORK/small"

# Puts the whole file back under its name after an hfclip run.
restore_big() {
  if [[ -e $WORK/big.bak ]]; then
    rm -f "$WORK/big"
    mv "$WORK/big.bak" "$WORK/big"
  fi
  rm -f "$WORK/out"
  sync
}

# peak_kib FILE: hfclip's maximum resident set size in KiB when it cuts 16
# bytes off FILE.
peak_kib() {
  (cd "$WORK" && /usr/bin/time -v "$HFCLIP" "$1" 16 2>&1 > /dev/null) |
    awk -F': ' '/Maximum resident set size/ { print $2 }'
}

# hfclip must leave what dd writes: the file from byte 16 on.
(cd "$WORK" && "$HFCLIP" big 16 > /dev/null && cmp -i 16:0 big.bak big)
restore_big

# dd and hfclip take turns, so that load from other processes falls on both
# alike.
dd_times=()
hfclip_times=()
for ((run = 0; run < RUNS; run++)); do
  restore_big
  dd_times+=("$(median_seconds 1 "cd '$WORK' && dd if=big of=out bs=1M iflag=skip_bytes skip=16 status=none")")
  restore_big
  hfclip_times+=("$(median_seconds 1 "cd '$WORK' && '$HFCLIP' big 16")")
done
restore_big
dd_time=$(printf '%s\n' "${dd_times[@]}" | median)
hfclip_time=$(printf '%s\n' "${hfclip_times[@]}" | median)
small_peak=$(peak_kib small)
big_peak=$(peak_kib big)
restore_big

echo "cut 16 bytes off $(stat -c %s "$WORK/big") bytes, median of $RUNS runs"
echo "  dd:              $dd_time s"
echo "  hfclip:          $hfclip_time s"
echo "  hfclip / dd:     $(ratio "$hfclip_time" "$dd_time") (target <= 1.0)"
echo "hfclip peak memory (maximum resident set size)"
echo "  4096-byte file:  $small_peak KiB"
echo "  1 GiB file:      $big_peak KiB"
