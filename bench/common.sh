# Shared helpers for the benchmark scripts; source it, do not run it.

# median: the median of the numbers on standard input, with 4 decimals.
median() {
  sort -g | awk '{ t[NR] = $1 } END { printf "%.4f\n", (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
}

# median_seconds RUNS COMMAND...: runs COMMAND (through bash -c) RUNS times
# and prints the median wall-clock time in seconds, taken by the shell's own
# clock so that no timing process is counted.
median_seconds() {
  local runs=$1 start end
  shift
  for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    bash -c "$*" > /dev/null
    end=$EPOCHREALTIME
    echo "$end - $start" | bc -l
  done | median
}

# ratio A B: A / B with 2 decimals.
ratio() {
  echo "scale=2; $1 / $2" | bc -l
}
