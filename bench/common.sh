# Sourced by the timing scripts: builds the bench preset and gives $bin (the
# build folder), $work (a scratch folder removed at exit) and median.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cmake --preset bench -S "$root" > /dev/null
cmake --build "$root/build/bench" > /dev/null
bin="$root/build/bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
