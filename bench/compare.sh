#!/usr/bin/env bash
# Times the whole mdx2obj process side by side with the floor on generated
# models, in paired runs, and prints a Markdown table: median wall time,
# throughput, ratio to the floor and peak resident memory.
#
#   bench/compare.sh [RUNS] [SIZES_IN_MB...]     (defaults: 7 runs; 4 32 64 MB)
set -euo pipefail

runs=${1:-7}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(4 32 64)

root=$(cd "$(dirname "$0")/.." && pwd)
cmake --preset bench -S "$root" > /dev/null
cmake --build "$root/build/bench" > /dev/null
bin="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

programs=("mdx2obj:$bin/mdx2obj" "floor:$bin/bench/mdx_floor")

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One run: wall seconds (from bash's clock) and peak RSS in KiB.
time_one() {
  local prog=$1 model=$2 out=$3 start end
  start=$EPOCHREALTIME
  printf '%s\n%s\n' "$model" "$out" |
    /usr/bin/time -f '%M' -o "$work/rss" "$prog" > /dev/null
  end=$EPOCHREALTIME
  echo "$(echo "$end - $start" | bc -l) $(cat "$work/rss")"
}

echo "| model | program | median s | MB/s | time / floor | peak RSS MiB |"
echo "|---|---|---|---|---|---|"
for mb in "${sizes[@]}"; do
  model="$work/model-$mb.mdx"
  "$bin/bench/mdx_gen" "$model" $((mb * 1024 * 1024)) "$mb"
  for p in "${programs[@]}"; do : > "$work/${p%%:*}.times"; : > "$work/${p%%:*}.rss"; done
  for ((i = 0; i < runs; i++)); do
    # Paired: every program once per round, in a rotating order.
    for ((k = 0; k < ${#programs[@]}; k++)); do
      p=${programs[$(((i + k) % ${#programs[@]}))]}
      name=${p%%:*}
      read -r secs rss < <(time_one "${p#*:}" "$model" "$work/$name.obj")
      echo "$secs" >> "$work/$name.times"
      echo "$rss" >> "$work/$name.rss"
    done
  done
  floor=$(median < "$work/floor.times")
  for p in "${programs[@]}"; do
    name=${p%%:*}
    t=$(median < "$work/$name.times")
    rss=$(sort -n "$work/$name.rss" | tail -1)
    printf '| %s MB | %s | %.3f | %.1f | %.2f | %.1f |\n' "$mb" "$name" "$t" \
      "$(echo "$mb / $t" | bc -l)" "$(echo "$t / $floor" | bc -l)" "$(echo "$rss / 1024" | bc -l)"
  done
done
