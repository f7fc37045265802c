#!/usr/bin/env bash
# Times the Blender add-on's import of a 30 MB model, through a GLB (its
# default) and through an OBJ, against Blender's own glTF and OBJ importers
# reading that model's GLB and OBJ (as the converter writes them for the
# add-on), each in a fresh headless Blender, and prints a Markdown table of
# the median times.
#
#   bench/blender.sh [RUNS]      (default: 3 runs)
set -euo pipefail

runs=${1:-3}
source "$(dirname "$0")/common.sh"
cmake --preset test -S "$root" > /dev/null
cmake --build "$root/build/test" --target blender_addon > /dev/null

"$bin/bench/mdx_gen" --real "$work/model.mdx" 31457280
"$bin/mdx2obj" -qq --objects -m -o "$work/model.obj" "$work/model.mdx"
"$bin/mdx2obj" -qq -o "$work/model.glb" "$work/model.mdx"
export BLENDER_USER_SCRIPTS="$work/scripts" BLENDER_USER_CONFIG="$work/config"
blender --background --factory-startup --python-expr "import bpy
bpy.ops.preferences.addon_install(filepath='$root/build/test/mdx2obj_blender.zip')" > /dev/null

# One import in a fresh Blender: its seconds, into the named file.
timed() {
  local into=$1 call=$2
  blender --background --factory-startup --python-expr "import bpy, time
bpy.ops.preferences.addon_enable(module='mdx2obj_blender')
start = time.perf_counter()
$call
print('seconds', time.perf_counter() - start)" 2> /dev/null | awk '/^seconds/ { print $2 }' >> "$work/$into.times"
}

: > "$work/addon.times"
: > "$work/addon_obj.times"
: > "$work/obj.times"
: > "$work/glb.times"
mdx="filepath='$work/model.mdx', directory='$work/', files=[{'name': 'model.mdx'}]"
for ((i = 0; i < runs; i++)); do
  timed addon "bpy.ops.import_scene.mdx($mdx)"
  timed addon_obj "bpy.ops.import_scene.mdx($mdx, file_format='OBJ')"
  timed obj "bpy.ops.wm.obj_import(filepath='$work/model.obj', up_axis='Z', forward_axis='Y')"
  # The add-on gives numpy.bool back to Blender 3.4's glTF importer first.
  timed glb "import numpy
numpy.bool = bool
bpy.ops.import_scene.gltf(filepath='$work/model.glb')"
done
echo "| 30 MB model | median s |"
echo "|---|---|"
for name in glb addon obj addon_obj; do
  case $name in
    glb) label="Blender's glTF importer, its GLB" ;;
    addon) label="the add-on through a GLB (convert and import)" ;;
    obj) label="Blender's OBJ importer, its OBJ" ;;
    addon_obj) label="the add-on through an OBJ (convert and import)" ;;
  esac
  printf '| %s | %.2f |\n' "$label" "$(median < "$work/$name.times")"
done
