# File > Import > MDX model (.mdx): a thin client of the mdx2obj command line.
# The converter bundled in this add-on (or the one its preferences name)
# converts the chosen models into GLB files (or OBJ files, a choice of the
# import) in a scratch folder, one object per geoset, with their materials and
# textures, and tells on standard output, as JSON lines, what became of each;
# Blender's own glTF or OBJ importer reads them, and
# the add-on names the objects and the materials after the model, dresses the
# materials as the JSON says, packs their images into the .blend and reports
# each texture that is missing or cannot be read. No second reader of the
# model format lives here.

bl_info = {
    "name": "MDX models",
    "description": "Imports the meshes of MDX models, one object per geoset, with textures",
    "version": (1, 1, 0),
    "blender": (3, 4, 0),
    "location": "File > Import > MDX model (.mdx)",
    "category": "Import-Export",
}

import json
import os
import stat
import subprocess
import sys
import tempfile

import bpy
from bpy.props import CollectionProperty, EnumProperty, FloatProperty, StringProperty
from bpy_extras.io_utils import ImportHelper

_HERE = os.path.dirname(os.path.abspath(__file__))


def bundled_converter():
    name = "mdx2obj.exe" if sys.platform.startswith("win") else "mdx2obj"
    return os.path.join(_HERE, "bin", name)


def converter_path(context):
    prefs = context.preferences.addons[__name__].preferences
    chosen = bpy.path.abspath(prefs.converter) if prefs.converter else ""
    path = chosen or bundled_converter()
    if not os.path.isfile(path):
        return None, (
            "no mdx2obj converter for this system in the add-on: install mdx2obj and set its "
            "path in the add-on's preferences (Edit > Preferences > Add-ons > MDX models)")
    # Blender's installer does not keep the run bit of the files in a zip.
    mode = os.stat(path).st_mode
    if not mode & stat.S_IXUSR and not sys.platform.startswith("win"):
        try:
            os.chmod(path, mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
        except OSError as error:
            return None, "cannot make %s executable: %s" % (path, error)
    return path, None


class MDX2OBJ_Preferences(bpy.types.AddonPreferences):
    bl_idname = __name__

    converter: StringProperty(
        name="Converter",
        description="The mdx2obj program to run; empty for the one in this add-on",
        subtype="FILE_PATH",
        default="")
    texture_folders: StringProperty(
        name="Texture folders",
        description=("Folders where textures are looked for after the model's own folder and "
                     "those above it (a game's extracted data), separated by %r" % os.pathsep),
        default="")

    def draw(self, context):
        self.layout.prop(self, "converter")
        self.layout.prop(self, "texture_folders")


def texture_folders(context):
    """The preferences' texture folders, as the converter's --textures."""
    prefs = context.preferences.addons[__name__].preferences
    folders = [bpy.path.abspath(f.strip()) for f in prefs.texture_folders.split(os.pathsep)]
    return [arg for f in folders if f for arg in ("--textures", f)]


# How Blender shows a layer's filter mode: transparent layers cut out where
# their alpha is low, blended and additive ones blend.
BLEND_METHODS = {1: "CLIP", 2: "BLEND", 3: "BLEND", 4: "BLEND"}


def numbered(name, prefix):
    """N of a name the OBJ importer gave as PREFIX + N (or with ".001" where
    that name was taken); None for any other."""
    stem = name.split(".")[0]
    if not stem.startswith(prefix) or not stem[len(prefix):].isdigit():
        return None
    return int(stem[len(prefix):])


def dress_material(material, facts):
    """The look that the converter's JSON gives a material, and its images
    packed into the .blend (the scratch folder they lie in goes)."""
    if facts is not None:
        material.use_backface_culling = not facts["two_sided"]
        material.blend_method = BLEND_METHODS.get(facts["filter_mode"], "OPAQUE")
    if material.node_tree:
        for node in material.node_tree.nodes:
            if node.type == "TEX_IMAGE" and node.image and not node.image.packed_file:
                node.image.pack()


def allow_numpy_bool():
    """Blender 3.4's glTF importer names numpy.bool, which numpy 1.24 dropped
    (it was numpy's name for Python's bool)."""
    import numpy
    if "bool" not in numpy.__dict__:
        numpy.bool = bool


class IMPORT_SCENE_OT_mdx(bpy.types.Operator, ImportHelper):
    """Import the meshes of MDX models: one object per geoset"""
    bl_idname = "import_scene.mdx"
    bl_label = "Import MDX"
    bl_options = {"REGISTER", "UNDO", "PRESET"}

    filename_ext = ".mdx"
    filter_glob: StringProperty(default="*.mdx;*.MDX", options={"HIDDEN"})
    files: CollectionProperty(type=bpy.types.OperatorFileListElement,
                              options={"HIDDEN", "SKIP_SAVE"})
    directory: StringProperty(subtype="DIR_PATH", options={"HIDDEN", "SKIP_SAVE"})
    # The range of --scale (no position becomes 0 or an infinity by the scale
    # alone); the slider keeps to scales that make sense.
    global_scale: FloatProperty(name="Scale", description="Every position multiplied by it",
                                default=1.0, min=1.2e-38, max=3.4e38, soft_min=1e-6,
                                soft_max=1e6)
    file_format: EnumProperty(
        name="Through",
        description="The file the converter writes and Blender's own importer reads",
        items=(("GLB", "glTF binary", "One GLB file a model, its textures inside"),
               ("OBJ", "OBJ", "An OBJ file a model, with its MTL and images")),
        default="GLB")

    def execute(self, context):
        converter, why = converter_path(context)
        if not converter:
            self.report({"ERROR"}, why)
            return {"CANCELLED"}
        directory = self.directory or os.path.dirname(self.filepath)
        names = [f.name for f in self.files if f.name]
        if names:
            paths = [os.path.join(directory, name) for name in names]
        elif self.filepath and os.path.isfile(self.filepath):
            paths = [self.filepath]
        else:
            paths = [directory]  # a folder: every model under it, as -r finds them
        with tempfile.TemporaryDirectory(prefix="mdx2obj-") as scratch:
            return self.convert(context, converter, paths, scratch)

    def convert(self, context, converter, paths, scratch):
        # Blender's glTF importer turns cubic tangents into handles of its
        # own: the curves come sampled at the scene's frame rate instead, so
        # that each frame plays where the model's keys put it.
        render = context.scene.render
        rate = max(1, min(1000, round(render.fps / render.fps_base)))
        through = (["--format", "glb", "--bake", str(rate)] if self.file_format == "GLB" else
                   ["--objects", "-m"])
        command = ([converter, "--json", "-qq", "-r"] + through +
                   ["-d", scratch, "--scale", repr(float(self.global_scale))] +
                   texture_folders(context) + ["--"] + paths)
        wm = context.window_manager
        wm.progress_begin(0, 100)
        imported, failed = 0, []
        # Standard error into a file: a pipe that nobody reads while the
        # results are read could fill and stop the converter.
        errors_file = tempfile.TemporaryFile(mode="w+", encoding="utf-8", errors="replace")
        try:
            process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=errors_file,
                                       text=True, encoding="utf-8", errors="surrogateescape")
        except OSError as error:
            wm.progress_end()
            self.report({"ERROR"}, "cannot run %s: %s" % (converter, error))
            return {"CANCELLED"}
        # A failure never names the scratch folder, which is gone by then.
        def hidden(text):
            return text.replace(scratch + os.sep, "").replace(scratch, "")

        steps = 0
        for line in process.stdout:
            result = json.loads(line)
            if result.get("type") == "totals":
                continue
            steps += 1
            wm.progress_update(min(99, steps))
            if result.get("type") == "failure":
                failed.append("%s: %s" % (result["path"], hidden(result["error"])))
            elif result.get("status") == "converted":
                imported += self.add_model(context, result)
                # A texture missing or unreadable: the model comes in without it.
                for warning in result.get("warnings", []):
                    self.report({"WARNING"}, "%s: %s" % (result["model"], warning))
                steps += 1
                wm.progress_update(min(99, steps))
            else:
                error = result.get("error", result["status"])
                if result.get("partial"):  # its partial OBJ is left in the scratch folder
                    error = error.rsplit(" (", 1)[0]
                failed.append("%s: %s" % (result["model"], hidden(error)))
        process.wait()
        errors_file.seek(0)
        errors = errors_file.read()
        errors_file.close()
        wm.progress_end()
        for failure in failed:
            self.report({"WARNING"}, failure)
        if process.returncode not in (0, 1) and not failed:
            self.report({"ERROR"}, errors.strip() or "mdx2obj ended with %d" % process.returncode)
            return {"CANCELLED"}
        if not imported:
            if not failed:
                self.report({"WARNING"}, "no MDX models found")
            return {"CANCELLED"}
        self.report({"INFO"}, "1 model imported" if imported == 1 else
                    "%d models imported" % imported)
        return {"FINISHED"}

    def add_model(self, context, result):
        """The model's OBJ through Blender's own importer (its MTL and images
        with it), the model standing as it stands in the file: one object per
        geoset, named as the add-on always named them, in a collection of the
        model's own."""
        model = os.path.splitext(os.path.basename(result["model"]))[0]
        before = set(bpy.data.objects)
        if self.file_format == "GLB":
            allow_numpy_bool()
            # glTF's Y up becomes Blender's Z up: the model as the file has it.
            bpy.ops.import_scene.gltf(filepath=result["output"])
        else:
            bpy.ops.wm.obj_import(filepath=result["output"], up_axis="Z", forward_axis="Y")
        collection = bpy.data.collections.new(model)
        context.scene.collection.children.link(collection)
        facts = result.get("materials", [])
        named = set()
        for obj in [o for o in bpy.data.objects if o not in before]:
            for owner in list(obj.users_collection):
                owner.objects.unlink(obj)
            collection.objects.link(obj)
            if obj.type == "ARMATURE":
                obj.name = "%s skeleton" % model
                obj.data.name = obj.name
            number = numbered(obj.name, "geoset_")
            if number is not None:
                obj.name = "%s geoset %d" % (model, number)
                obj.data.name = obj.name
            for slot in obj.material_slots:
                if slot.material and slot.material not in named:
                    named.add(slot.material)
                    number = numbered(slot.material.name, "material_")
                    known = number is not None and 0 < number <= len(facts)
                    dress_material(slot.material, facts[number - 1] if known else None)
                    # The model's own names: Blender would number every
                    # model's "material_1" after the first.
                    if number is not None:
                        slot.material.name = "%s material %d" % (model, number)
                    elif slot.material.name.split(".")[0] == "none":
                        slot.material.name = "%s none" % model
        return 1


def menu_import(self, context):
    self.layout.operator(IMPORT_SCENE_OT_mdx.bl_idname, text="MDX model (.mdx)")


classes = (MDX2OBJ_Preferences, IMPORT_SCENE_OT_mdx)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
