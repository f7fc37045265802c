# Run by run.sh inside a headless Blender: installs the add-on's zip as a user
# does (Edit > Preferences > Add-ons > Install), then imports one model,
# several, a folder, and a scaled one, through a GLB (the default) and through
# an OBJ, and checks the objects, their names, their positions, their
# materials and packed images, and that a model that fails adds nothing.
import json
import os
import sys

import bpy

zip_path, models = sys.argv[sys.argv.index("--") + 1:]
expected = json.load(open(os.path.join(models, "expected.json")))
problems = []


def check(condition, what):
    if not condition:
        problems.append(what)


def clear():
    for kind in (bpy.data.objects, bpy.data.collections, bpy.data.meshes, bpy.data.materials,
                 bpy.data.images, bpy.data.armatures, bpy.data.actions):
        for thing in list(kind):
            kind.remove(thing)


def imported(folder, names=(), scale=1.0):
    clear()
    directory = os.path.join(models, folder) + os.sep
    files = [{"name": name} for name in names]
    path = os.path.join(directory, names[0]) if names else directory
    through = {} if file_format == "GLB" else {"file_format": file_format}
    return bpy.ops.import_scene.mdx(filepath=path, directory=directory, files=files,
                                    global_scale=scale, **through)


def check_model(path, scale=1.0):
    stem = os.path.splitext(os.path.basename(path))[0]
    check(stem in bpy.data.collections, "no collection " + stem)
    for number, positions in enumerate(expected[path], start=1):
        obj = bpy.data.objects.get("%s geoset %d" % (stem, number))
        check(obj is not None, "no object %s geoset %d" % (stem, number))
        if obj is None:
            continue
        got = [tuple(v.co) for v in obj.data.vertices]
        want = [tuple(c * scale for c in p) for p in positions]
        check(len(got) == len(want) and all(abs(a - b) < 1e-5 for g, w in zip(got, want)
                                             for a, b in zip(g, w)),
              "%s geoset %d: positions %s, not %s" % (stem, number, got[:2], want[:2]))


bpy.ops.preferences.addon_install(filepath=zip_path)
bpy.ops.preferences.addon_enable(module="mdx2obj_blender")


def images_of(material_name):
    material = bpy.data.materials.get(material_name)
    if material is None or not material.node_tree:
        return None
    return [tuple(n.image.size) for n in material.node_tree.nodes
            if n.type == "TEX_IMAGE" and n.image]


def check_imports():
    check(imported("one", ["footman.mdx"]) == {"FINISHED"}, "one model did not import")
    # Materials take the model's name, so that models' materials keep apart.
    check(sorted(m.name for m in bpy.data.materials if m.name.startswith("footman")) ==
          ["footman material 1", "footman material 2"],
          "materials: %s" % sorted(m.name for m in bpy.data.materials))
    check(sorted(o.name for o in bpy.data.objects) == ["footman geoset 1", "footman geoset 2"],
          "one model: %s" % sorted(o.name for o in bpy.data.objects))
    check_model("one/footman.mdx")

    # The unit's look: the skin over the team colour, two-sided and cut out; the
    # blended layer blends; both show the texture, packed into the .blend.
    for number, blend, both_sides in ((1, "CLIP", True), (2, "BLEND", False)):
        obj = bpy.data.objects.get("footman geoset %d" % number)
        material = obj.active_material if obj else None
        check(material is not None, "footman geoset %d: no material" % number)
        if material is None:
            continue
        check(material.blend_method == blend,
              "geoset %d: blend %s, not %s" % (number, material.blend_method, blend))
        check(material.use_backface_culling != both_sides, "geoset %d: the sides shown" % number)
        images = [n.image for n in material.node_tree.nodes if n.type == "TEX_IMAGE" and n.image]
        # Its colour, and where the layer's alpha is the material's, its alpha.
        # An MTL maps the blended layer's alpha from a second image node.
        count = 2 if number == 2 and file_format == "OBJ" else 1
        check(len(images) == count and
              all(i.packed_file is not None and tuple(i.size) == (8, 4) for i in images),
              "geoset %d: images %s" % (number, [(i.name, tuple(i.size)) for i in images]))

    check(imported("one", ["footman.mdx"], scale=0.5) == {"FINISHED"}, "a scaled import failed")
    check_model("one/footman.mdx", scale=0.5)

    # Textures missing: reported (run.sh reads the reports), the models come in.
    # A texture folder of the preferences finds the one in the library.
    preferences = bpy.context.preferences.addons["mdx2obj_blender"].preferences
    for library in ("", os.path.join(models, "library")):
        preferences.texture_folders = library
        check(imported("several", ["a.mdx", "b.mdx"]) == {"FINISHED"}, "several models did not import")
        check(len(bpy.data.objects) == 4, "several: %d objects" % len(bpy.data.objects))
        check_model("several/a.mdx")
        check_model("several/b.mdx")
        shared = images_of("a material 1")
        check(shared == ([(4, 4)] if library else []), "a: images %s with %r" % (shared, library))
        check(images_of("b material 1") == [], "b: images %s" % images_of("b material 1"))
    preferences.texture_folders = ""

    # A folder: every model under it; the broken one adds nothing, the others
    # still come in.
    check(imported("folder") == {"FINISHED"}, "a folder did not import")
    check(sorted(o.name for o in bpy.data.objects) == ["knight geoset 1", "tree geoset 1"],
          "folder: %s" % sorted(o.name for o in bpy.data.objects))
    check_model("folder/units/knight.mdx")
    check_model("folder/deep/tree.mdx")
    if file_format == "GLB":
        check_walking()


def check_walking():
    """A unit that walks: its skeleton, an action a sequence, and its
    vertices half a second into its first where the model's rules put them."""
    check(imported("walking", ["unit.mdx"]) == {"FINISHED"}, "the walking unit did not import")
    armature = bpy.data.objects.get("unit skeleton")
    mesh = bpy.data.objects.get("unit geoset 1")
    check(armature is not None and armature.type == "ARMATURE", "no armature: %s" %
          sorted(o.name for o in bpy.data.objects))
    names = sorted(a.name.rsplit("_", 1)[0] for a in bpy.data.actions)
    check(names == ["Backwards", "Stand", "Still", "Walk", "global sequence 0"],
          "actions: %s" % names)
    if armature is None or mesh is None:
        return
    armature.animation_data.action = next(a for a in bpy.data.actions if a.name.startswith("Stand"))
    bpy.context.scene.frame_set(12)  # 0.5 s at 24 frames a second
    evaluated = mesh.evaluated_get(bpy.context.evaluated_depsgraph_get())
    got = [tuple(mesh.matrix_world @ v.co) for v in evaluated.to_mesh().vertices]
    evaluated.to_mesh_clear()
    want = expected["walking at 0.5 s"]
    check(len(got) == len(want) and all(abs(a - b) < 1e-4 for g, w in zip(got, want)
                                         for a, b in zip(g, w)),
          "walking at 0.5 s: %d vertices of %d, %s" %
          (len(got), len(want), [(i, g, w) for i, (g, w) in enumerate(zip(got, want))
                                 if max(abs(a - b) for a, b in zip(g, w)) >= 1e-4]))


for file_format in ("GLB", "OBJ"):
    before = len(problems)
    check_imports()
    problems[before:] = ["%s: %s" % (file_format, p) for p in problems[before:]]

if problems:
    print("blender add-on: " + "\n".join(problems))
    sys.exit(1)
print("blender add-on: every import as expected")
