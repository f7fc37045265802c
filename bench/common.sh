# Sourced by the timing scripts: builds the bench preset and gives $bin (the
# build folder), $work (a scratch folder removed at exit), median and timed
# runs.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmake --preset bench -S "$root" > /dev/null
cmake --build "$root/build/bench" > /dev/null
bin="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One timed run of a command after a sync: "wall cpu" in seconds, appended
# to $work/NAME.times; and the medians of those.
timed() {
  local into=$1
  shift
  sync
  /usr/bin/time -f '%e %U %S' -o "$work/t" "$@" > /dev/null
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' "$work/t" >> "$work/$into.times"
}
wall() { cut -d' ' -f1 < "$work/$1.times" | median; }
cpu() { cut -d' ' -f2 < "$work/$1.times" | median; }
