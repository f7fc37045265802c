#!/usr/bin/env bash
# Times the whole mdx2obj process side by side with the floor and with the
# copy of its output on generated models, in paired runs, and prints a
# Markdown table: median wall time, throughput, ratios to the floor and to the
# copy, and peak resident memory.
#
#   bench/compare.sh [RUNS] [SIZES_IN_MB...]     (defaults: 7 runs; 4 32 64 MB)
#
# Each size is timed on three models: "noise" (coordinates anywhere, faces over
# random vertices), "real" (texel-grid texture coordinates, grid-snapped
# positions, faces over nearby vertices, as real models are) and "large" (as
# noise, but geosets of 20,000 to 60,000 vertices fill the model, as in
# high-detail and merged models).
# "command line" is `mdx2obj -q -o NEW MODEL`, and "--up y --scale" the same
# with `--up y --scale 0.01`: the cost of placing every position and normal.
# "1 thread" and "8 threads" are the dialogue with MDX2OBJ_THREADS set: the
# text formatted on one thread as before the pool, and the memory of the
# largest pool (on a machine of fewer cores, its threads take turns).
# "unpinned" is the dialogue with MDX2OBJ_PIN=0: the pool's threads left to
# the kernel instead of each kept to a CPU of its own.
# "copy" is `cat OBJ > NEW` of the OBJ that mdx2obj made: the kernel's own
# copy of the file into a new one, the cost of the output bytes alone. Every
# timed run writes a file that does not exist yet, after a sync outside the
# timing, so that no run waits for the write-back of an earlier run's file,
# and reads files that are in the page cache.
set -euo pipefail

runs=${1:-7}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(4 32 64)

source "$(dirname "$0")/common.sh"

programs=(mdx2obj floor copy cli styled one eight unpinned)

# One run of a program on the model: wall seconds (from bash's clock) and
# peak RSS in KiB.
time_one() {
  local name=$1 model=$2 start end
  local out="$work/$name.obj"
  rm -f "$out"
  # What each program reads comes from memory, as the copy's source does: the
  # page cache of this machine is small, and a source read from the disk
  # would make the yardstick slow.
  cat "$model" "$work/output.obj" > /dev/null
  sync
  start=$EPOCHREALTIME
  case $name in
    mdx2obj | floor | one | eight | unpinned)
      local prog="$bin/mdx2obj"
      [ "$name" = floor ] && prog="$bin/bench/mdx_floor"
      # Each run is in a subshell of its own: the setting ends with it.
      [ "$name" = one ] && export MDX2OBJ_THREADS=1
      [ "$name" = eight ] && export MDX2OBJ_THREADS=8
      [ "$name" = unpinned ] && export MDX2OBJ_PIN=0
      printf '%s\n%s\n' "$model" "$out" | /usr/bin/time -f '%M' -o "$work/rss" "$prog" > /dev/null
      ;;
    copy)
      /usr/bin/time -f '%M' -o "$work/rss" sh -c 'exec cat "$1" > "$2"' sh "$work/output.obj" "$out"
      ;;
    cli | styled)
      local placing=()
      [ "$name" = styled ] && placing=(--up y --scale 0.01)
      /usr/bin/time -f '%M' -o "$work/rss" "$bin/mdx2obj" -q "${placing[@]}" -o "$out" "$model"
      ;;
  esac
  end=$EPOCHREALTIME
  echo "$(echo "$end - $start" | bc -l) $(cat "$work/rss")"
}

echo "| model | program | median s | MB/s | time / floor | time / copy | peak RSS MiB |"
echo "|---|---|---|---|---|---|---|"
for mb in "${sizes[@]}"; do
  for kind in noise real large; do
    model="$work/model-$mb-$kind.mdx"
    flag=()
    [ "$kind" != noise ] && flag=("--$kind")
    "$bin/bench/mdx_gen" "${flag[@]}" "$model" $((mb * 1024 * 1024)) "$mb"
    rm -f "$work/output.obj"
    printf '%s\n%s\n' "$model" "$work/output.obj" | "$bin/mdx2obj" > /dev/null
    paired_runs "$model"
    floor=$(median < "$work/floor.times")
    copy=$(median < "$work/copy.times")
    for name in "${programs[@]}"; do
      t=$(median < "$work/$name.times")
      rss=$(sort -n "$work/$name.rss" | tail -1)
      label=$name
      [ "$name" = cli ] && label="command line"
      [ "$name" = styled ] && label="--up y --scale"
      [ "$name" = one ] && label="1 thread"
      [ "$name" = eight ] && label="8 threads"
      printf '| %s MB %s | %s | %.3f | %.1f | %.2f | %.2f | %.1f |\n' "$mb" "$kind" "$label" "$t" \
        "$(echo "$mb / $t" | bc -l)" "$(echo "$t / $floor" | bc -l)" "$(echo "$t / $copy" | bc -l)" \
        "$(echo "$rss / 1024" | bc -l)"
    done
    for name in cli one eight unpinned; do
      cmp -s "$work/output.obj" "$work/$name.obj" || echo "the OBJ of $name differs" >&2
    done
    echo "OBJ of the $mb MB $kind model: $(($(stat -c %s "$work/output.obj") / 1048576)) MiB;" \
      "--up y --scale against the command line: $(echo "$(median < "$work/styled.times") /" \
      "$(median < "$work/cli.times")" | bc -l | cut -c1-5)" >&2
  done
done
