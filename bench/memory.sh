#!/usr/bin/env bash
# What a run keeps for each model, and what each small model costs in page
# faults, as a Markdown table:
#
#   bench/memory.sh [RUNS]      (default: 3 runs, medians)
#
# - Peak resident memory of `-qq -r -d` over trees of 5,000 and 50,000 small
#   models (3 kB, one geoset each), and the growth a model between them
#   (names included).
# - Minor page faults over trees of 200 and 2,000 models of about 10 kB at
#   -j 1 and -j 2: the difference a model, where the start of the process and
#   the first model's buffers cancel out.
# Every run writes a new output folder, after a sync.
set -euo pipefail

runs=${1:-3}
source "$(dirname "$0")/common.sh"

for count in 200 2000; do "$bin/bench/mdx_gen" --tree "$work/t$count" "$count" 10000; done
for count in 5000 50000; do "$bin/bench/mdx_gen" --tree "$work/m$count" "$count" 3000; done

# One run: "peak-KiB faults", the median of $runs.
measure() {
  local tree=$1 jobs=$2 i
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out"
    sync
    /usr/bin/time -f '%M %R' -o "$work/t" "$bin/mdx2obj" -qq -r -j "$jobs" -d "$work/out" "$tree"
    cat "$work/t"
  done > "$work/runs"
  echo "$(cut -d' ' -f1 < "$work/runs" | median) $(cut -d' ' -f2 < "$work/runs" | median)"
}

read -r m5 _ <<< "$(measure "$work/m5000" 1)"
read -r m50 _ <<< "$(measure "$work/m50000" 1)"
names=$(find "$work/m50000" -name '*.mdx' | awk -v out="$work/out" '{ n += 2 * length($0) } END { print n / NR }')
echo "| run | figure | value |"
echo "|---|---|---|"
printf '| 5,000 models | peak RSS | %.1f MiB |\n' "$(echo "$m5 / 1024" | bc -l)"
printf '| 50,000 models | peak RSS | %.1f MiB |\n' "$(echo "$m50 / 1024" | bc -l)"
printf '| 5,000 to 50,000 | bytes a model (model and OBJ names: about %.0f) | %.0f |\n' \
  "$names" "$(echo "($m50 - $m5) * 1024 / 45000" | bc -l)"
for jobs in 1 2; do
  read -r _ f200 <<< "$(measure "$work/t200" "$jobs")"
  read -r _ f2000 <<< "$(measure "$work/t2000" "$jobs")"
  printf '| 200 to 2,000 models, -j %d | page faults a model | %.2f |\n' "$jobs" \
    "$(echo "($f2000 - $f200) / 1800" | bc -l)"
done
