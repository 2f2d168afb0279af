# DirectX (.x) export through Plover: File > Export > "DirectX (.x) - Plover" and the operator
# bpy.ops.export_scene.plover_x(filepath=...). The add-on only writes a scene document of the
# Blender scene and runs `plover export` on it; every export decision is Plover's.
# Import: File > Import > "DirectX (.x) - Plover", bpy.ops.import_scene.plover_x(filepath=...):
# `plover convert` to a temporary .glb read by Blender's glTF importer (x_import.py).

bl_info = {
    "name": "DirectX (.x) - Plover",
    "author": "Plover",
    "version": (0, 0, 0),  # the project's version, stamped in when zipped (scripts/version.sh)
    "blender": (3, 4, 0),
    "location": "File > Import-Export > DirectX (.x) - Plover",
    "description": "Export the scene to a DirectX X file, and import X files, through the plover command",
    "category": "Import-Export",
}

import json
import os
import re
import tempfile

import bpy
from mathutils import Matrix
from bpy.props import BoolProperty, EnumProperty, FloatProperty, IntProperty, StringProperty
from bpy_extras.io_utils import ExportHelper, ImportHelper

from . import plover_command, x_import
from .scene_document import build_document

FORMATS = [("0", "Text", "Text X file"),
           ("1", "Binary", "Binary X file"),
           ("2", "Compressed", "MSZIP-compressed binary X file")]

# Operator property -> export option key(s). A switch may set several keys.
SWITCHES = {
    "normals": ("Normal",),
    "tangents": ("Tangent", "BiTangent"),
    "decl_data": ("DeclData",),
    "vertex_colors": ("VertexColor",),
    "materials": ("Mtl",),
    "copy_textures": ("TextureFiles",),
    "effect_files": ("FX",),
    "multi_textures": ("Multi-Textures",),
    "animation": ("Animation",),
    "key_frames": ("KeyFrames",),
    "empties": ("Dummy",),
    "other_objects": ("OTHER",),
    "right_handed": ("RightHand",),
    "scale_enable": ("SpaceScaleEnable",),
}
VALUES = {"file_format": "XFileType", "sample_rate": "SampleRate", "scale": "SpaceScale"}


# Option key -> the export panel's control, for plover's hints ("set DeclData=1").
CONTROLS = {key.lower(): prop for prop, keys in SWITCHES.items() for key in keys}


def panel_hint(line):
    """Plover's hint to set an option, said with the export panel's control where it has one."""
    def control(match):
        prop = CONTROLS.get(match.group(1).lower())
        if prop is None:
            return "add %s=%s to More Options" % (match.group(1), match.group(2))
        label = ExportPloverX.__annotations__[prop].keywords["name"]
        return "%s \"%s\" in the export panel" % ("tick" if match.group(2) != "0" else "untick", label)
    return re.sub(r"\bset ([A-Za-z][A-Za-z0-9_-]*)=(\d+)\b", control, line)


def panel_values(options):
    """Operator property -> value for the options `plover config show` printed (key -> text).
    Values are read as the exporter reads them; keys that are missing or unreadable are left out."""
    options = {k.lower(): v for k, v in options.items()}

    def number(key, kind):
        text = options.get(key.lower(), "").strip()
        if not text:
            return None
        if kind is int:
            digits = re.match(r"[-+]?\d+", text)
            return int(digits.group()) if digits else 0
        try:
            return float(text)
        except ValueError:
            return 0.0
    values = {}
    for prop, keys in SWITCHES.items():
        value = number(keys[0], int)
        if value is not None:
            values[prop] = value != 0
    value = number("XFileType", int)
    if value is not None:
        values["file_format"] = str(value) if value in (0, 1) else "2"
    value = number("SampleRate", int)
    if value is not None:
        values["sample_rate"] = min(4800, max(1, value))
    value = number("SpaceScale", float)
    if value is not None:
        values["scale"] = min(1e5, max(1e-5, value))
    return values


class PloverPreferences(bpy.types.AddonPreferences):
    bl_idname = __name__

    plover_path: StringProperty(
        name="plover command", subtype="FILE_PATH",
        description="Path of the plover command; empty: the one found on PATH")
    config_dir: StringProperty(
        name="Configuration folder", subtype="DIR_PATH",
        description="Folder of plover_max_config.ini; empty: plover's default (~/.config/plover)")

    def draw(self, context):
        self.layout.prop(self, "plover_path")
        self.layout.prop(self, "config_dir")


def preferences(context):
    addon = context.preferences.addons.get(__name__)
    if addon is None:
        return "", ""
    return addon.preferences.plover_path, bpy.path.abspath(addon.preferences.config_dir)


class ExportPloverX(bpy.types.Operator, ExportHelper):
    """Export the scene to a DirectX X file through Plover"""
    bl_idname = "export_scene.plover_x"
    bl_label = "Export DirectX (.x)"
    bl_options = {"PRESET"}

    filename_ext = ".x"
    filter_glob: StringProperty(default="*.x", options={"HIDDEN"})

    file_format: EnumProperty(name="Format", items=FORMATS, default="1")
    normals: BoolProperty(name="Normals", default=True)
    tangents: BoolProperty(name="Tangents", description="Tangents and bitangents", default=False)
    decl_data: BoolProperty(name="DeclData", description="Per-vertex channels as one DeclData object",
                            default=False)
    vertex_colors: BoolProperty(name="Vertex Colours", default=False)
    materials: BoolProperty(name="Materials", default=True)
    copy_textures: BoolProperty(name="Copy Textures", description="Copy textures beside the X file",
                                default=True)
    effect_files: BoolProperty(name="Effect Files", description="Generate .fx files for materials",
                               default=False)
    multi_textures: BoolProperty(
        name="Multi-Textures", default=False,
        description="Normal, bump and the other maps besides the diffuse texture")
    animation: BoolProperty(name="Animation", default=True)
    clips_from_blender: BoolProperty(
        name="Clips from Actions", default=True,
        description="One clip per action or NLA strip; off: the clips of the options file")
    key_frames: BoolProperty(name="Keys at Frames", default=False,
                             description="Key every frame instead of sampling at the sample rate")
    sample_rate: IntProperty(name="Sample Rate", min=1, max=4800, default=30,
                             description="Samples per second of sampled animation")
    right_handed: BoolProperty(name="Right-Handed", default=False)
    scale_enable: BoolProperty(name="Scale", default=False)
    scale: FloatProperty(name="Scale Factor", min=1e-5, max=1e5, default=1.0)
    empties: BoolProperty(name="Empties", description="Export empties and armature objects as frames",
                          default=False)
    other_objects: BoolProperty(name="Cameras and Lights", default=False)
    selected_only: BoolProperty(name="Selected Only", default=False)
    more_options: StringProperty(
        name="More Options", default="",
        description="Further export options for this export, as KEY=VALUE separated by blanks")
    preview: BoolProperty(
        name="Preview Picture", default=False,
        description="Also draw a picture of the X file written (<name>_preview.png beside it) "
                    "and load it as an image")
    keep_options: BoolProperty(
        name="Keep as Defaults", default=False,
        description="Store these options in plover's options file for later exports")
    file_values: StringProperty(options={"HIDDEN", "SKIP_SAVE"}, default="")
    document_path: StringProperty(
        options={"HIDDEN"}, default="",
        description="Also keep the scene document at this path")

    def invoke(self, context, event):
        try:
            self.load_defaults(context)
        except plover_command.PloverError as error:
            self.report({"WARNING"}, str(error))
        return ExportHelper.invoke(self, context, event)

    def load_defaults(self, context):
        """The panel opens with the values of the user's options file."""
        path, config_dir = preferences(context)
        options, file_keys = plover_command.read_options(plover_command.find_plover(path), config_dir)
        if "samplerate" not in file_keys:
            # Without a rate of its own the exporter samples at the scene's frame rate.
            render = context.scene.render
            options["SampleRate"] = str(int(round(render.fps / render.fps_base)))
        values = panel_values(options)
        for prop, value in values.items():
            setattr(self, prop, value)
        self.file_values = json.dumps(values)

    def settings(self):
        """--set overrides: the options a script passes, or those changed in the panel."""
        unchanged = json.loads(self.file_values) if self.file_values else {}

        def given(prop):
            return self.properties.is_property_set(prop) and unchanged.get(prop) != getattr(self, prop)
        result = []
        for prop, keys in SWITCHES.items():
            if given(prop):
                result += [(key, int(getattr(self, prop))) for key in keys]
        for prop, key in VALUES.items():
            if given(prop):
                value = getattr(self, prop)
                result.append((key, "%g" % value if isinstance(value, float) else value))
        for item in self.more_options.split():
            key, _, value = item.partition("=")
            result.append((key, value))
        return result

    def draw(self, context):
        layout = self.layout
        layout.use_property_split = True
        layout.use_property_decorate = False
        layout.prop(self, "file_format")
        layout.prop(self, "selected_only")
        layout.prop(self, "empties")
        layout.prop(self, "other_objects")
        box = layout.box()
        box.label(text="Geometry")
        for prop in ("normals", "tangents", "decl_data", "vertex_colors"):
            box.prop(self, prop)
        box = layout.box()
        box.label(text="Materials")
        for prop in ("materials", "copy_textures", "effect_files", "multi_textures"):
            box.prop(self, prop)
        box = layout.box()
        box.label(text="Animation")
        box.prop(self, "animation")
        col = box.column()
        col.enabled = self.animation
        for prop in ("clips_from_blender", "key_frames", "sample_rate"):
            col.prop(self, prop)
        box = layout.box()
        box.label(text="Coordinates")
        box.prop(self, "right_handed")
        box.prop(self, "scale_enable")
        row = box.row()
        row.enabled = self.scale_enable
        row.prop(self, "scale")
        layout.prop(self, "more_options")
        layout.prop(self, "preview")
        layout.prop(self, "keep_options")

    def execute(self, context):
        path, config_dir = preferences(context)
        try:
            plover = plover_command.find_plover(path)
        except plover_command.PloverError as error:
            self.report({"ERROR"}, str(error))
            return {"CANCELLED"}
        output = os.path.abspath(bpy.path.abspath(self.filepath))
        output_dir = os.path.dirname(output)
        if not os.path.isdir(output_dir):
            self.report({"ERROR"}, "The folder of %s does not exist" % output)
            return {"CANCELLED"}

        def report(level, text):
            self.report({level}, text)
        document, clips = build_document(context, output_dir, animation=self.animation, report=report)
        settings = self.settings()
        if self.document_path:
            with open(bpy.path.abspath(self.document_path), "w", encoding="utf-8") as f:
                json.dump(document, f, indent=1)
        # Blender's clips are given as settings, so that they win over a clip list of the
        # options file; without them the options file's clips (or its default) apply.
        document.pop("clips", None)
        if clips and self.clips_from_blender:
            settings.append(("AnimationCount", len(clips)))
            for i, (name, start, end) in enumerate(clips):
                settings += [("Animation%d_Name" % i, name), ("Animation%d_StartKey" % i, start),
                             ("Animation%d_EndKey" % i, end)]

        wm = context.window_manager
        with tempfile.TemporaryDirectory(prefix="plover-") as work:
            doc_path = os.path.join(work, "scene.json")
            with open(doc_path, "w", encoding="utf-8") as f:
                json.dump(document, f, separators=(",", ":"))
            preview = os.path.splitext(output)[0] + "_preview.png" if self.preview else ""
            before = os.stat(output).st_mtime_ns if os.path.exists(output) else None
            command = plover_command.export_command(plover, doc_path, output, settings,
                                                    self.selected_only, config_dir, preview)
            wm.progress_begin(0, 100)
            try:
                code, lines = plover_command.run_export(command, wm.progress_update)
            except plover_command.PloverError as error:
                self.report({"ERROR"}, str(error))
                return {"CANCELLED"}
            finally:
                wm.progress_end()
        lines = [panel_hint(line) for line in lines]
        if code != 0 and preview and os.path.isfile(output) and os.stat(output).st_mtime_ns != before \
                and not any("no file written" in l for l in lines):
            # The X file was written; only its picture could not be made.
            for line in lines:
                self.report({"WARNING"}, line)
            return {"FINISHED"}
        if code != 0:
            # The cause is the error; plover's closing "no file written" only completes it.
            causes = [l for l in lines if "no file written" not in l and "warning" not in l.lower()]
            for line in lines:
                if line not in causes[-1:] and "no file written" not in line:
                    self.report({"WARNING"} if "warning" in line.lower() else {"INFO"}, line)
            cause = causes[-1] if causes else "plover export failed"
            self.report({"ERROR"}, "%s (no file written)" % cause.rstrip("."))
            return {"CANCELLED"}
        for line in lines:
            self.report({"WARNING"} if "warning" in line.lower() else {"INFO"}, line)
        if preview and os.path.isfile(preview):
            image = bpy.data.images.load(preview, check_existing=True)
            image.reload()
            self.report({"INFO"}, "Preview picture: %s (image \"%s\" in the Image Editor)" % (preview, image.name))
        if self.keep_options:
            try:
                for line in plover_command.keep_options(plover, self.settings(), config_dir):
                    self.report({"INFO"}, line)
            except plover_command.PloverError as error:
                self.report({"WARNING"}, "Options not kept: %s" % error)
        return {"FINISHED"}


def gltf_import(path):
    """Blender's glTF importer on a file. Blender 3.4's importer still names numpy's `np.bool`,
    which NumPy 1.24 (Debian 12's) no longer has: the alias is lent for the call only."""
    import numpy
    lent = "bool" not in vars(numpy)
    if lent:
        numpy.bool = bool
    try:
        return bpy.ops.import_scene.gltf(filepath=path, guess_original_bind_pose=True)
    finally:
        if lent:
            del numpy.bool


class ImportPloverX(bpy.types.Operator, ImportHelper):
    """Import a DirectX X file through Plover"""
    bl_idname = "import_scene.plover_x"
    bl_label = "Import DirectX (.x)"
    bl_options = {"REGISTER", "UNDO", "PRESET"}

    filename_ext = ".x"
    filter_glob: StringProperty(default="*.x", options={"HIDDEN"})
    right_handed: BoolProperty(name="Right-Handed File", default=False,
                               description="The file was written right-handed (not mirrored on Z)")
    z_up: BoolProperty(name="Z-Up File", default=False, description="The file was written with Z up")
    scale: FloatProperty(name="Scale", min=1e-5, max=1e5, default=1.0,
                         description="Scale applied to the imported objects")
    set_frame_rate: BoolProperty(
        name="Frame Rate from Keys", default=True,
        description="Set the scene's frame rate to the one the animation keys were sampled at "
                    "(kept when its frames already hold every key)")

    def execute(self, context):
        path = preferences(context)[0]
        source = os.path.abspath(bpy.path.abspath(self.filepath))
        try:
            plover = plover_command.find_plover(path)
        except plover_command.PloverError as error:
            self.report({"ERROR"}, str(error))
            return {"CANCELLED"}
        if not os.path.isfile(source):
            self.report({"ERROR"}, "%s: no such file" % source)
            return {"CANCELLED"}
        scene = context.scene
        before_objects = set(bpy.data.objects)
        before_actions = set(bpy.data.actions)
        with tempfile.TemporaryDirectory(prefix="plover-") as work:
            glb = os.path.join(work, os.path.splitext(os.path.basename(source))[0] + ".glb")
            command = x_import.convert_command(plover, source, glb, self.right_handed, self.z_up)
            try:
                code, lines = plover_command.run_export(command)
            except plover_command.PloverError as error:
                self.report({"ERROR"}, str(error))
                return {"CANCELLED"}
            if code != 0 or not os.path.isfile(glb):
                for line in lines[:-1]:
                    self.report({"WARNING"} if "warning" in line.lower() else {"INFO"}, line)
                self.report({"ERROR"}, lines[-1] if lines else "plover convert failed on %s" % source)
                return {"CANCELLED"}
            for line in lines:
                self.report({"WARNING"} if "warning" in line.lower() else {"INFO"}, line)
            try:
                document, binary = x_import.read_glb(glb)
            except (OSError, ValueError, plover_command.PloverError) as error:
                self.report({"ERROR"}, "The converted file could not be read: %s" % error)
                return {"CANCELLED"}
            fps = scene.render.fps / scene.render.fps_base
            rate = x_import.sampled_frame_rate(document, binary, int(round(fps)) if fps == int(fps) else None)
            if self.set_frame_rate and rate is not None and rate != fps:
                # The glTF importer turns seconds into frames at the scene's rate: set it first.
                scene.render.fps, scene.render.fps_base = rate, 1.0
                self.report({"INFO"}, "Frame rate set to %d fps, the rate of the file's keys" % rate)
            result = gltf_import(glb)
            if result != {"FINISHED"}:
                self.report({"ERROR"}, "Blender's glTF importer could not read what plover converted from %s" % source)
                return {"CANCELLED"}
        new_objects = [o for o in bpy.data.objects if o not in before_objects]
        self.name_actions(x_import.animation_names(document), [a for a in bpy.data.actions if a not in before_actions])
        if self.scale != 1.0:
            for ob in new_objects:
                if ob.parent is None or ob.parent not in new_objects:
                    ob.matrix_world = Matrix.Scale(self.scale, 4) @ ob.matrix_world
        return {"FINISHED"}

    @staticmethod
    def name_actions(set_names, actions):
        """The glTF importer names an action "<set>_<object>"; the animation set's own name goes
        to the one action of each set (the armature's when several objects move in it)."""
        for name in set_names:
            mine = [a for a in actions if a.name.startswith(name + "_")]
            if not mine:
                continue
            users = {a: [o for o in bpy.data.objects if o.animation_data and any(
                s.action == a for t in o.animation_data.nla_tracks for s in t.strips)] for a in mine}
            mine.sort(key=lambda a: (not any(o.type == "ARMATURE" for o in users[a]), a.name))
            if name in bpy.data.actions and bpy.data.actions[name] not in mine:
                continue   # an action of that name was there before: leave both as they are
            mine[0].name = name


def menu_func_import(self, context):
    self.layout.operator(ImportPloverX.bl_idname, text="DirectX (.x) \u2013 Plover")


def menu_func_export(self, context):
    self.layout.operator(ExportPloverX.bl_idname, text="DirectX (.x) \u2013 Plover")


classes = (PloverPreferences, ExportPloverX, ImportPloverX)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_export.append(menu_func_export)
    bpy.types.TOPBAR_MT_file_import.append(menu_func_import)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_func_import)
    bpy.types.TOPBAR_MT_file_export.remove(menu_func_export)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)
