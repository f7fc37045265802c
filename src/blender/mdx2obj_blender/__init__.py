# File > Import > MDX model (.mdx): a thin client of the mdx2obj command line.
# The converter bundled in this add-on (or the one its preferences name)
# converts the chosen models into OBJ files in a scratch folder, one object per
# geoset, and tells on standard output, as JSON lines, what became of each;
# the add-on builds a mesh object per geoset from those OBJ files. No second
# reader of the model format lives here.

bl_info = {
    "name": "MDX models",
    "description": "Imports the meshes of MDX models, one object per geoset",
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
from bpy.props import CollectionProperty, FloatProperty, StringProperty
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

    def draw(self, context):
        self.layout.prop(self, "converter")


def read_obj(path):
    """The geosets of an OBJ file that mdx2obj wrote with --objects: for each,
    its positions, texture coordinates, normals and triangles, the triangles'
    corners counted from the geoset's first vertex."""
    geosets = []
    base = 0
    with open(path, encoding="utf-8", errors="replace") as obj:
        for line in obj:
            kind, _, rest = line.partition(" ")
            if kind == "o":
                if geosets:
                    base += len(geosets[-1]["v"])
                geosets.append({"v": [], "vt": [], "vn": [], "f": []})
            elif kind in ("v", "vt", "vn"):
                geosets[-1][kind].append(tuple(float(n) for n in rest.split()))
            elif kind == "f":
                corners = [int(corner.split("/")[0]) - 1 - base for corner in rest.split()]
                geosets[-1]["f"].append(corners)
    return geosets


def finite(values):
    return all(v == v and abs(v) != float("inf") for v in values)


def add_geoset(name, geoset, collection):
    count = len(geoset["v"])
    # A corner outside the geoset's own vertices cannot be drawn by it.
    faces = [f for f in geoset["f"] if all(0 <= c < count for c in f)]
    positions = [p if finite(p) else (0.0, 0.0, 0.0) for p in geoset["v"]]
    mesh = bpy.data.meshes.new(name)
    mesh.from_pydata(positions, [], faces)
    if len(geoset["vt"]) == count and faces:
        layer = mesh.uv_layers.new(name="UVMap")
        for loop in mesh.loops:
            layer.data[loop.index].uv = geoset["vt"][loop.vertex_index][:2]
    mesh.validate()
    mesh.update()
    if len(geoset["vn"]) == count and all(finite(n) for n in geoset["vn"]):
        if hasattr(mesh, "use_auto_smooth"):  # needed before Blender 4.1
            mesh.use_auto_smooth = True
        mesh.normals_split_custom_set_from_vertices(geoset["vn"])
    obj = bpy.data.objects.new(name, mesh)
    collection.objects.link(obj)
    return obj


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
        command = [converter, "--json", "-qq", "-r", "--objects", "-d", scratch,
                   "--scale", repr(float(self.global_scale)), "--"] + paths
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
        done = 0
        for line in process.stdout:
            result = json.loads(line)
            if result.get("type") == "totals":
                continue
            done += 1
            wm.progress_update(min(99, done))
            if result.get("type") == "failure":
                failed.append("%s: %s" % (result["path"], result["error"]))
            elif result.get("status") == "converted":
                imported += self.add_model(context, result)
            else:
                error = result.get("error", result["status"])
                if result.get("partial"):  # its partial OBJ is left in the scratch folder
                    error = error.rsplit(" (", 1)[0]
                failed.append("%s: %s" % (result["model"], error))
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
        self.report({"INFO"}, "%d models imported" % imported)
        return {"FINISHED"}

    def add_model(self, context, result):
        model = os.path.splitext(os.path.basename(result["model"]))[0]
        collection = bpy.data.collections.new(model)
        context.scene.collection.children.link(collection)
        for number, geoset in enumerate(read_obj(result["obj"]), start=1):
            add_geoset("%s geoset %d" % (model, number), geoset, collection)
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
