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

# Paired rounds on one model: every program of the array `programs` once a
# round, in a rotating order, each run by the script's own `time_one NAME
# MODEL` (which prints "seconds rss"), into $work/NAME.times and .rss.
paired_runs() {
  local model=$1 i k name secs rss
  for name in "${programs[@]}"; do : > "$work/$name.times"; : > "$work/$name.rss"; done
  for ((i = 0; i < runs; i++)); do
    for ((k = 0; k < ${#programs[@]}; k++)); do
      name=${programs[$(((i + k) % ${#programs[@]}))]}
      read -r secs rss < <(time_one "$name" "$model")
      echo "$secs" >> "$work/$name.times"
      echo "$rss" >> "$work/$name.rss"
    done
  done
}
