#!/usr/bin/env bash
# Times a tree of models with their textures (-m: an MTL a model and a PNG
# image per texture) against the same tree without them, side by side in one
# run, and prints a Markdown table: median wall time, user + system time, and
# what the textures add. "copy" is the yardstick: `cp -r` of every file the
# textured run writes (OBJ, MTL, PNG) into a new folder, the kernel's own copy
# of the output bytes and the creation of those files.
#
#   bench/textures.sh [RUNS]      (default: 5 runs)
#
# The tree: 500 models of about 100 kB (texel-grid coordinates, realistic
# bulk), ten to a folder; each folder has its own skin texture and each set
# of a hundred models shares one at the tree's root, 256 pixels a side,
# painted as games draw them, half of them BLP with JPEG data, half with a
# palette. Without -d, as a game's data is converted in place: each of the
# 55 textures gets its one image, beside it.
# Every timed run writes a new output after a sync outside the timing.
set -euo pipefail

runs=${1:-5}
source "$(dirname "$0")/common.sh"

"$bin/bench/mdx_gen" --textured --real --tree "$work/tree" 500 100000

# The textured run's output alone, the copy's source.
cp -r "$work/tree" "$work/outputs"
"$bin/mdx2obj" -qq -r -m "$work/outputs"
find "$work/outputs" -type f \( -iname '*.mdx' -o -name '*.blp' -o -name '.mdx2obj-record' \) -delete

# A fresh copy of the tree for each run, made outside the timing: the OBJ
# files and images go beside the models.
n=0
row() {
  local name=$1
  shift
  n=$((n + 1))
  cp -r "$work/tree" "$work/copy$n"
  timed "$name" "$@" "$work/copy$n"
  rm -rf "$work/copy$n"
}

programs=(geometry textured copy)
for name in "${programs[@]}"; do : > "$work/$name.times"; done
for ((i = 0; i < runs; i++)); do
  for ((k = 0; k < ${#programs[@]}; k++)); do
    name=${programs[$(((i + k) % ${#programs[@]}))]}
    case $name in
      geometry) row "$name" "$bin/mdx2obj" -qq -r ;;
      textured) row "$name" "$bin/mdx2obj" -qq -r -m ;;
      copy) row "$name" cp -r "$work/outputs" ;;
    esac
  done
done

echo "| 500 × 100 kB, 55 textures of 256² | median wall s | user + sys s | wall / geometry | wall / copy |"
echo "|---|---|---|---|---|"
for name in "${programs[@]}"; do
  printf '| %s | %.3f | %.3f | %.2f | %.2f |\n' "$name" "$(wall "$name")" "$(cpu "$name")" \
    "$(echo "$(wall "$name") / $(wall geometry)" | bc -l)" "$(echo "$(wall "$name") / $(wall copy)" | bc -l)"
done
