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
blender --background --factory-startup --python-exit-code 1 --python "$3" -- "$2" "$scratch/models"
