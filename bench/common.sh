# Shared helpers for the benchmark scripts; source it, do not run it.
#
# median_seconds RUNS COMMAND...: runs COMMAND (through bash -c) RUNS times
# and prints the median wall-clock time in seconds, with 4 decimals.
median_seconds() {
  local runs=$1
  shift
  local times=()
  for ((i = 0; i < runs; i++)); do
    local start end
    start=$(date +%s.%N)
    bash -c "$*" > /dev/null
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { printf "%.4f\n", (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
}

# ratio A B: A / B with 2 decimals.
ratio() {
  echo "scale=2; $1 / $2" | bc -l
}
