#!/usr/bin/env bash
# Times the whole mdx2obj process side by side with the floor and with writing
# its output on generated models, in paired runs, and prints a Markdown table:
# median wall time, throughput, ratios to the floor and to the write, and peak
# resident memory.
#
#   bench/compare.sh [RUNS] [SIZES_IN_MB...]     (defaults: 7 runs; 4 32 64 MB)
#
# "write" copies the OBJ that mdx2obj made to a new file in the same folder,
# in blocks of the sink's size (1 MiB): the cost of the output bytes alone.
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

programs=(mdx2obj floor write)

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One run of a program on the model: wall seconds (from bash's clock) and
# peak RSS in KiB.
time_one() {
  local name=$1 model=$2 start end
  local out="$work/$name.obj"
  start=$EPOCHREALTIME
  case $name in
    mdx2obj | floor)
      local prog="$bin/mdx2obj"
      [ "$name" = floor ] && prog="$bin/bench/mdx_floor"
      printf '%s\n%s\n' "$model" "$out" | /usr/bin/time -f '%M' -o "$work/rss" "$prog" > /dev/null
      ;;
    write)
      /usr/bin/time -f '%M' -o "$work/rss" dd if="$work/output.obj" of="$out" bs=1M status=none
      ;;
  esac
  end=$EPOCHREALTIME
  echo "$(echo "$end - $start" | bc -l) $(cat "$work/rss")"
}

echo "| model | program | median s | MB/s | time / floor | time / write | peak RSS MiB |"
echo "|---|---|---|---|---|---|---|"
for mb in "${sizes[@]}"; do
  model="$work/model-$mb.mdx"
  "$bin/bench/mdx_gen" "$model" $((mb * 1024 * 1024)) "$mb"
  printf '%s\n%s\n' "$model" "$work/output.obj" | "$bin/mdx2obj" > /dev/null
  for name in "${programs[@]}"; do : > "$work/$name.times"; : > "$work/$name.rss"; done
  for ((i = 0; i < runs; i++)); do
    # Paired: every program once per round, in a rotating order.
    for ((k = 0; k < ${#programs[@]}; k++)); do
      name=${programs[$(((i + k) % ${#programs[@]}))]}
      read -r secs rss < <(time_one "$name" "$model")
      echo "$secs" >> "$work/$name.times"
      echo "$rss" >> "$work/$name.rss"
    done
  done
  floor=$(median < "$work/floor.times")
  write=$(median < "$work/write.times")
  for name in "${programs[@]}"; do
    t=$(median < "$work/$name.times")
    rss=$(sort -n "$work/$name.rss" | tail -1)
    printf '| %s MB | %s | %.3f | %.1f | %.2f | %.2f | %.1f |\n' "$mb" "$name" "$t" \
      "$(echo "$mb / $t" | bc -l)" "$(echo "$t / $floor" | bc -l)" "$(echo "$t / $write" | bc -l)" \
      "$(echo "$rss / 1024" | bc -l)"
  done
  echo "OBJ of the $mb MB model: $(($(stat -c %s "$work/output.obj") / 1048576)) MiB" >&2
done
