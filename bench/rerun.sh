#!/usr/bin/env bash
# An unchanged rerun against the first run, as a Markdown table:
#
#   bench/rerun.sh [RUNS]      (default: 5 runs, medians)
#
# 2,000 small models (about 10 kB) converted with -u into a new output tree
# (the first run: every OBJ written, and the record), then -u again over the
# same tree with nothing changed (a look at each model and OBJ, the record
# read). A sync before every timed run.
set -euo pipefail

runs=${1:-5}
source "$(dirname "$0")/common.sh"
TIMEFORMAT=%3R  # wall seconds to the millisecond

"$bin/bench/mdx_gen" --real --tree "$work/small" 2000 10000

: > "$work/first.times"
: > "$work/again.times"
for ((i = 0; i < runs; i++)); do
  rm -rf "$work/out"
  sync
  { time "$bin/mdx2obj" -qq -u -r -d "$work/out" "$work/small"; } 2>> "$work/first.times"
  sync
  { time "$bin/mdx2obj" -qq -u -r -d "$work/out" "$work/small"; } 2>> "$work/again.times"
done
first=$(median < "$work/first.times")
again=$(median < "$work/again.times")
echo "| 2,000 × 10 kB, -u | median wall s | against the first run |"
echo "|---|---|---|"
printf '| first run (all converted) | %.3f | 1.00 |\n' "$first"
printf '| unchanged rerun (all up to date) | %.3f | %.3f |\n' "$again" "$(echo "$again / $first" | bc -l)"
printf '\nthe unchanged rerun is %.0f times as fast\n' "$(echo "$first / $again" | bc -l)"
