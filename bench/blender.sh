#!/usr/bin/env bash
# Times the Blender add-on's import of a 30 MB model against Blender's own
# OBJ importer reading that model's OBJ (as the converter writes it for the
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
: > "$work/obj.times"
for ((i = 0; i < runs; i++)); do
  timed addon "bpy.ops.import_scene.mdx(filepath='$work/model.mdx', directory='$work/', files=[{'name': 'model.mdx'}])"
  timed obj "bpy.ops.wm.obj_import(filepath='$work/model.obj', up_axis='Z', forward_axis='Y')"
done
addon=$(median < "$work/addon.times") obj=$(median < "$work/obj.times")
echo "| 30 MB model | median s |"
echo "|---|---|"
printf '| Blender'"'"'s OBJ importer, its OBJ | %.2f |\n| the add-on (convert and import) | %.2f |\n' "$obj" "$addon"
printf '| add-on / importer | %.2f |\n' "$(echo "$addon / $obj" | bc -l)"
