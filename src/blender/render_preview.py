# Renders the picture of an imported model for the README: run in a headless
# Blender with the add-on's zip and a model (mdx_gen --textured --shape makes
# one, with its textures). With sequences named, the model is imported once
# for each, side by side, each playing its own half a second in:
#
#   blender --background --factory-startup --python src/blender/render_preview.py -- \
#       build/test/mdx2obj_blender.zip MODEL.mdx OUT.png [SEQUENCE...]
import math
import os
import sys

import bpy
from mathutils import Vector

zip_path, model, out, *sequences = sys.argv[sys.argv.index("--") + 1:]
bpy.ops.preferences.addon_install(filepath=zip_path)
bpy.ops.preferences.addon_enable(module="mdx2obj_blender")
for obj in list(bpy.data.objects):
    bpy.data.objects.remove(obj)
directory = os.path.dirname(os.path.abspath(model)) + os.sep
for i, sequence in enumerate(sequences or [None]):
    before = set(bpy.data.objects)
    bpy.ops.import_scene.mdx(filepath=model, directory=directory,
                             files=[{"name": os.path.basename(model)}])
    for obj in set(bpy.data.objects) - before:
        if obj.type != "ARMATURE" or not sequence:
            continue
        obj.location.x += 4.5 * i
        obj.animation_data.action = next(a for a in bpy.data.actions
                                         if a.name.startswith(sequence + "_"))
# Half a second in, at the scene's 24 frames a second.
bpy.context.scene.frame_set(12)

# Each geoset without a texture in a colour of its own, as the page draws
# them.
meshes = [o for o in bpy.data.objects if o.type == "MESH"]
for i, obj in enumerate(meshes):
    if obj.active_material:
        continue
    material = bpy.data.materials.new(obj.name)
    hue = (i * 0.618) % 1.0
    r, g, b = [0.5 + 0.4 * math.cos(2 * math.pi * (hue + k / 3)) for k in range(3)]
    material.diffuse_color = (r, g, b, 1)
    material.use_nodes = True
    material.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (r, g, b, 1)
    obj.data.materials.append(material)

bpy.context.view_layer.update()
corners = [o.matrix_world @ Vector(c) for o in meshes for c in o.bound_box]
low = Vector([min(c[k] for c in corners) for k in range(3)])
high = Vector([max(c[k] for c in corners) for k in range(3)])
center, radius = (low + high) / 2, (high - low).length / 2

camera = bpy.data.objects.new("camera", bpy.data.cameras.new("camera"))
bpy.context.scene.collection.objects.link(camera)
camera.location = center + Vector((1.0, -1.6, 0.7)).normalized() * radius * 3.4
camera.rotation_euler = (center - camera.location).to_track_quat("-Z", "Y").to_euler()
bpy.context.scene.camera = camera
sun = bpy.data.objects.new("sun", bpy.data.lights.new("sun", "SUN"))
sun.rotation_euler = (math.radians(40), math.radians(20), math.radians(30))
bpy.context.scene.collection.objects.link(sun)
world = bpy.data.worlds.new("world")
world.color = (0.12, 0.14, 0.17)
bpy.context.scene.world = world

scene = bpy.context.scene
scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 64
scene.cycles.use_denoising = False
scene.render.resolution_x, scene.render.resolution_y = 720, 450
scene.render.filepath = out
bpy.ops.render.render(write_still=True)
