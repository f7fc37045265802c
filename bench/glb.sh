#!/usr/bin/env bash
# Times a model's GLB against the kernel's copy of that GLB and against the
# same model's OBJ (and its copy), in paired runs, and the route a user takes
# without --format glb: the converter's OBJ, then Debian's gltfpack turning
# it into a GLB. Prints a Markdown table: median wall time, ratio to the copy
# of the file it writes, peak resident memory and the file's size.
#
#   bench/glb.sh [RUNS] [SIZES_IN_MB...]     (defaults: 7 runs; 32 MB)
#
# The models are mdx_gen's "noise", "real" and "large" (see compare.sh), and
# "skinned": a real one with 40 bones, three sequences and vertex groups.
# Every timed run writes a file that does not exist yet, after a sync outside
# the timing, and reads files that are in the page cache. gltfpack (apt-get
# install gltfpack) is timed only where it is installed, with -noq (no
# quantization, so that it keeps the floats as the converter does) and -kn
# (each geoset a node of its own, as the converter keeps them).
set -euo pipefail

runs=${1:-7}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(32)

source "$(dirname "$0")/common.sh"

programs=(glb glb_copy obj obj_copy)
command -v gltfpack > /dev/null && programs+=(gltfpack)

# One run: wall seconds and peak RSS in KiB.
time_one() {
  local name=$1 model=$2 start end out="$work/new-$1"
  rm -f "$out" "$out".*
  cat "$model" "$work/output.glb" "$work/output.obj" > /dev/null
  sync
  start=$EPOCHREALTIME
  case $name in
    glb) /usr/bin/time -f '%M' -o "$work/rss" "$bin/mdx2obj" -q -o "$out.glb" "$model" ;;
    obj) /usr/bin/time -f '%M' -o "$work/rss" "$bin/mdx2obj" -q -o "$out.obj" "$model" ;;
    glb_copy | obj_copy)
      local from="$work/output.${name%_copy}"
      /usr/bin/time -f '%M' -o "$work/rss" sh -c 'exec cat "$1" > "$2"' sh "$from" "$out"
      ;;
    gltfpack)
      /usr/bin/time -f '%M' -o "$work/rss" sh -c \
        '"$1" -q -o "$2.obj" "$3" && exec gltfpack -noq -kn -i "$2.obj" -o "$2.glb" > /dev/null' \
        sh "$bin/mdx2obj" "$out" "$model"
      ;;
  esac
  end=$EPOCHREALTIME
  echo "$(echo "$end - $start" | bc -l) $(cat "$work/rss")"
}

echo "| model | program | median s | time / copy of its file | peak RSS MiB | file MiB |"
echo "|---|---|---|---|---|---|"
for mb in "${sizes[@]}"; do
  for kind in noise real large skinned; do
    model="$work/model-$mb-$kind.mdx"
    flag=()
    [ "$kind" != noise ] && flag=("--$kind")
    [ "$kind" = skinned ] && flag=(--skinned --real)
    "$bin/bench/mdx_gen" "${flag[@]}" "$model" $((mb * 1024 * 1024)) "$mb"
    "$bin/mdx2obj" -q -o "$work/output.glb" "$model"
    "$bin/mdx2obj" -q -o "$work/output.obj" "$model"
    paired_runs "$model"
    cmp -s "$work/output.glb" "$work/new-glb.glb" || echo "the GLB differs between runs" >&2
    for name in "${programs[@]}"; do
      t=$(median < "$work/$name.times")
      rss=$(sort -n "$work/$name.rss" | tail -1)
      case $name in
        glb | glb_copy) copy=$(median < "$work/glb_copy.times") file=$work/output.glb ;;
        obj | obj_copy) copy=$(median < "$work/obj_copy.times") file=$work/output.obj ;;
        gltfpack) copy=$(median < "$work/glb_copy.times") file=$work/new-gltfpack.glb ;;
      esac
      label=${name/_copy/ copy}
      [ "$name" = gltfpack ] && label="OBJ, then gltfpack"
      printf '| %s MB %s | %s | %.3f | %.2f | %.1f | %.1f |\n' "$mb" "$kind" "$label" "$t" \
        "$(echo "$t / $copy" | bc -l)" "$(echo "$rss / 1024" | bc -l)" \
        "$(echo "$(stat -c %s "$file") / 1048576" | bc -l)"
    done
  done
done
