#!/usr/bin/env bash
# Times whole trees of models, side by side in one run on the same trees, and
# prints a Markdown table: median wall time, user + system time, the cores kept
# busy (CPU time / wall time) and the CPU time against one job.
#
#   bench/batch.sh [RUNS]      (default: 5 runs)
#
# - 80 models of 1 MB: -j 1 against -j 2 (a whole tree in one run).
# - 1,500 small models (about 10 kB): one run of the tree (-j 1 and the
#   default, one job per core) against one process per model (a shell loop);
#   and the same models all in one folder, where the file system's work for
#   many new files in one folder may be the limit.
# Every timed run writes a new output folder, after a sync outside the timing.
set -euo pipefail

runs=${1:-5}
source "$(dirname "$0")/common.sh"

"$bin/bench/mdx_gen" --tree "$work/large" 80 1048576
"$bin/bench/mdx_gen" --real --tree "$work/small" 1500 10000
mkdir "$work/flat"
find "$work/small" -type f -exec cp {} "$work/flat" \;

# One process per model, as a shell loop over the tree would run it.
per_process() {
  local tree=$1 out=$2 model rel
  find "$tree" -type f -iname '*.mdx' | sort | while read -r model; do
    rel=${model#"$tree"/}
    "$bin/mdx2obj" -qq -d "$out/$(dirname "$rel")" "$model"
  done
}
export -f per_process
export bin

n=0
row() {
  local name=$1 tree=$2
  shift 2
  n=$((n + 1))
  timed "$name" "$@" "$work/out$n" "$tree"
  rm -rf "$work/out$n"
}

programs=(j1-large j2-large j1-small jN-small loop-small jN-flat)
for name in "${programs[@]}"; do : > "$work/$name.times"; done
for ((i = 0; i < runs; i++)); do
  for ((k = 0; k < ${#programs[@]}; k++)); do
    name=${programs[$(((i + k) % ${#programs[@]}))]}
    case $name in
      j1-large) row "$name" "$work/large" "$bin/mdx2obj" -qq -r -j 1 -d ;;
      j2-large) row "$name" "$work/large" "$bin/mdx2obj" -qq -r -j 2 -d ;;
      j1-small) row "$name" "$work/small" "$bin/mdx2obj" -qq -r -j 1 -d ;;
      jN-small) row "$name" "$work/small" "$bin/mdx2obj" -qq -r -d ;;
      jN-flat) row "$name" "$work/flat" "$bin/mdx2obj" -qq -r -d ;;
      loop-small)
        n=$((n + 1))
        timed "$name" bash -c 'per_process "$1" "$2"' _ "$work/small" "$work/out$n"
        rm -rf "$work/out$n"
        ;;
    esac
  done
done

echo "| tree | run | median wall s | user + sys s | CPU / wall | CPU / -j 1 | wall / one run (-j 1) |"
echo "|---|---|---|---|---|---|---|"
for name in "${programs[@]}"; do
  case $name in
    *-large) tree="80 × 1 MB"; base=j1-large ;;
    *-flat) tree="1,500 × 10 kB, one folder"; base=j1-small ;;
    *) tree="1,500 × 10 kB"; base=j1-small ;;
  esac
  case $name in
    j1-*) label="-j 1" ;; j2-*) label="-j 2" ;; jN-*) label="-j $(nproc) (default)" ;; loop-*) label="process per model" ;;
  esac
  w=$(wall "$name") c=$(cpu "$name")
  printf '| %s | %s | %.3f | %.3f | %.2f | %.2f | %.2f |\n' "$tree" "$label" "$w" "$c" \
    "$(echo "$c / $w" | bc -l)" "$(echo "$c / $(cpu $base)" | bc -l)" "$(echo "$w / $(wall $base)" | bc -l)"
done
