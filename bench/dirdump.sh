#!/usr/bin/env bash
# dirdump on 64 data disks of 127 files each, against a floor: reading the
# image once (cat) plus writing the same files from memory. Target: at most
# 2x the floor.
#
#   BUILD_DIR=build/default bench/dirdump.sh    (run from the source root)
set -euo pipefail

cd "$(dirname "$0")/.."
BUILD_DIR=$(cd "${BUILD_DIR:-build/default}" && pwd)
RUNS=${RUNS:-7}
source bench/common.sh

DIRDUMP=$BUILD_DIR/dirdump/dirdump
MAKE_IMAGE=$BUILD_DIR/bench/make_dirdump_bench_image

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
IMAGE=$WORK/bench.d88
"$MAKE_IMAGE" "$IMAGE"

# Both sides must leave the same files, or the comparison means nothing.
mkdir "$WORK/tool" "$WORK/floor"
(cd "$WORK/tool" && "$DIRDUMP" "$IMAGE" > /dev/null)
(cd "$WORK/floor" && "$MAKE_IMAGE" --files)
diff -r "$WORK/tool" "$WORK/floor" > /dev/null

fresh="rm -rf '$WORK/out' && mkdir '$WORK/out' && cd '$WORK/out'"
cat_time=$(median_seconds "$RUNS" "cat '$IMAGE' > /dev/null")
write_time=$(median_seconds "$RUNS" "$fresh && '$MAKE_IMAGE' --files")
tool_time=$(median_seconds "$RUNS" "$fresh && '$DIRDUMP' '$IMAGE'")
floor_time=$(printf "%.4f" "$(echo "$cat_time + $write_time" | bc -l)")

echo "image: $(stat -c %s "$IMAGE") bytes, $(ls "$WORK/tool" | wc -l) files"
echo "cat of the image:        $cat_time s"
echo "writing the files:       $write_time s"
echo "floor (sum):             $floor_time s"
echo "dirdump:                 $tool_time s"
echo "dirdump / floor:         $(ratio "$tool_time" "$floor_time") (target <= 2)"
