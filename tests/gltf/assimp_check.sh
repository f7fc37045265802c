#!/bin/sh
# A reader that is not the validator: assimp (Debian's assimp-utils) reads each
# GLB of a generated tree, as `assimp info -r` (raw: without it assimp merges
# vertices) counts them, with the vertices and triangles the converter told;
# skipped (77) where assimp is not installed.
#
#   assimp_check.sh MDX2OBJ MDX_GEN
set -eu
if ! command -v assimp > /dev/null 2>&1; then
  echo "assimp_check: skipped, assimp is not installed"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$2" --textured --tree "$scratch/tree" 12 30000
"$2" --textured --shape "$scratch/tree/figure.mdx"
"$1" -qq --format glb --json -r "$scratch/tree" > "$scratch/json"
checked=0
while IFS= read -r line; do
  case $line in *'"status": "converted"'*) ;; *) continue ;; esac
  glb=$(printf '%s\n' "$line" | sed 's/.*"output": "\([^"]*\)".*/\1/')
  told=$(printf '%s\n' "$line" | sed 's/.*"vertices": \([0-9]*\), "faces": \([0-9]*\).*/\1 \2/')
  read=$(assimp info "$glb" -r | awk '/^Vertices:/ { v = $2 } /^Faces:/ { f = $2 } END { print v, f }')
  if [ "$told" != "$read" ]; then
    echo "assimp_check: $glb: assimp reads $read vertices and faces, the converter told $told"
    exit 1
  fi
  checked=$((checked + 1))
done < "$scratch/json"
[ "$checked" -eq 13 ] || { echo "assimp_check: $checked GLB files read, not 13"; exit 1; }
echo "assimp_check: $checked GLB files read with the converter's counts"
