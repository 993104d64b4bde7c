#!/usr/bin/env bash
# mublock's whole-process time beside `cat image > /dev/null` on two images
# of 64 data disks: one where every sector is a candidate but no block ends
# (target: at most 1.5x cat), and one with thousands of blocks. Each time is
# the median of RUNS runs from the page cache.
#
#   BUILD_DIR=build/default bench/mublock.sh    (run from the source root)
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/default}
RUNS=${RUNS:-11}
source bench/common.sh

if [[ ! -x $BUILD_DIR/mublock/mublock || ! -x $BUILD_DIR/bench/make_mublock_bench_images ]]; then
  cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build "$BUILD_DIR" -j2 --target mublock make_mublock_bench_images > /dev/null
fi
BUILD_DIR=$(cd "$BUILD_DIR" && pwd)
MUBLOCK=$BUILD_DIR/mublock/mublock

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$BUILD_DIR/bench/make_mublock_bench_images" "$WORK/no-blocks.d88" "$WORK/many-blocks.d88"

# cat_and_mublock_medians IMAGE: prints the median seconds of cat and of
# mublock on IMAGE over RUNS runs each. The two run in turn, so that both
# see the same load, and are timed by the shell's own clock, so that no
# helper process's start-up is counted. mublock runs in a scratch directory
# that is emptied before each run, outside the timing.
cat_and_mublock_medians() {
  local image=$1 cat_times=() mublock_times=() start end
  for ((i = 0; i < RUNS; i++)); do
    start=$EPOCHREALTIME
    cat "$image" > /dev/null
    end=$EPOCHREALTIME
    cat_times+=("$(echo "$end - $start" | bc -l)")
    rm -rf "$WORK/scratch" && mkdir "$WORK/scratch"
    start=$EPOCHREALTIME
    (cd "$WORK/scratch" && exec "$MUBLOCK" "$image" > /dev/null)
    end=$EPOCHREALTIME
    mublock_times+=("$(echo "$end - $start" | bc -l)")
  done
  echo "$(printf '%s\n' "${cat_times[@]}" | median) $(printf '%s\n' "${mublock_times[@]}" | median)"
}

for name in no-blocks many-blocks; do
  image=$WORK/$name.d88
  target=
  if [[ $name == no-blocks ]]; then
    target=' (target <= 1.5)'
  fi
  cat "$image" > /dev/null
  mkdir "$WORK/check" && (cd "$WORK/check" && "$MUBLOCK" "$image" > /dev/null)
  blocks=$(find "$WORK/check" -type f | wc -l)
  rm -rf "$WORK/check"
  read -r cat_time mublock_time < <(cat_and_mublock_medians "$image")
  echo "$name: $(stat -c %s "$image") bytes, $blocks blocks"
  echo "  cat:             $cat_time s"
  echo "  mublock:         $mublock_time s"
  echo "  mublock / cat:   $(ratio "$mublock_time" "$cat_time")$target"
done
