#!/usr/bin/env bash
# Times the texture lookup where it costs most: 2,000 models of 10 kB whose
# two textures are all missing, in folders six deep, so that every folder
# from each model's up to the root is asked for each texture; against the
# same models with the team colour and glow in place of the textures (no
# lookup, as many MTL files). Every timed run writes a new output tree
# (-qq -m -r -d) after a sync. Where strace is installed, it also counts the
# folders each run opens.
#
#   bench/lookup.sh [RUNS]      (default: 5 runs)
set -euo pipefail

runs=${1:-5}
source "$(dirname "$0")/common.sh"

"$bin/bench/mdx_gen" --missing --real --tree "$work/missing" 2000 10000
"$bin/bench/mdx_gen" --team --real --tree "$work/team" 2000 10000

programs=(team missing)
for name in "${programs[@]}"; do : > "$work/$name.times"; done
for ((i = 0; i < runs; i++)); do
  for ((k = 0; k < ${#programs[@]}; k++)); do
    name=${programs[$(((i + k) % ${#programs[@]}))]}
    rm -rf "$work/out"
    timed "$name" "$bin/mdx2obj" -qq -m -r -d "$work/out" "$work/$name"
  done
done

echo "| 2,000 × 10 kB, six deep, -m | median wall s | user + sys s | wall / team colour |"
echo "|---|---|---|---|"
for name in "${programs[@]}"; do
  printf '| %s | %.3f | %.3f | %.2f |\n' "$name" "$(wall "$name")" "$(cpu "$name")" \
    "$(echo "$(wall "$name") / $(wall team)" | bc -l)"
done
if command -v strace > /dev/null; then
  for name in "${programs[@]}"; do
    rm -rf "$work/out"
    strace -f -qq -e trace=openat -o "$work/$name.trace" \
      "$bin/mdx2obj" -qq -m -r -d "$work/out" "$work/$name" > /dev/null
    echo "$name: $(grep -c O_DIRECTORY "$work/$name.trace") folders opened"
  done
fi
