#!/bin/sh
# Installs the add-on's zip in a headless Blender with a user folder of its
# own and imports models made by the test builder; skipped (77) where Blender
# is not installed.
#
#   run.sh MAKE_MODELS ZIP TEST_SCRIPT
set -eu
if ! command -v blender > /dev/null 2>&1; then
  echo "blender_addon: skipped, Blender is not installed"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$1" "$scratch/models"
export BLENDER_USER_CONFIG="$scratch/config" BLENDER_USER_SCRIPTS="$scratch/scripts"
export BLENDER_USER_DATAFILES="$scratch/data"
blender --background --factory-startup --python-exit-code 1 --python "$3" -- "$2" "$scratch/models" \
  > "$scratch/output" 2>&1 || { cat "$scratch/output"; exit 1; }
cat "$scratch/output"
# Each texture that is missing is reported, as Blender reports a warning.
for warning in "a.mdx: texture Textures/Shared.blp: not found" \
  "b.mdx: texture Textures/Gone.blp: not found"; do
  grep -q "^Warning: .*$warning" "$scratch/output" || {
    echo "blender_addon: no report \"$warning\""
    exit 1
  }
done
