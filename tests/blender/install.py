# The add-on as users install it: a zip laid out as scripts/package.sh makes it (the add-on's
# files and bin/linux-x64 with plover and its modules) installed with Blender's own
# addon_install, enabled, then an export and an import with no plover on PATH: the add-on
# runs the plover it carries; then removed.
# Arguments after "--": PLOVER WORK (a zip made here from the sources and PLOVER's folder), or
# ADDON.zip WORK (that zip, as scripts/test-packages.sh passes the packaged one).
import os
import shutil
import sys
import zipfile

import bpy

ARGS = sys.argv[sys.argv.index("--") + 1:]
PLOVER, WORK = os.path.abspath(ARGS[0]), os.path.abspath(ARGS[1])
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "..", "blender", "io_export_plover")
assert os.environ.get("BLENDER_USER_SCRIPTS", "").startswith(os.path.abspath(WORK)), \
    "BLENDER_USER_SCRIPTS must point into the work folder, or the user's add-ons would change"

folder = os.path.join(WORK, "install")
shutil.rmtree(folder, ignore_errors=True)
shutil.rmtree(os.environ["BLENDER_USER_SCRIPTS"], ignore_errors=True)
os.makedirs(folder)
os.environ["XDG_CONFIG_HOME"] = os.path.join(folder, "config")
archive = os.path.join(folder, "io_export_plover.zip")
if PLOVER.endswith(".zip"):
    archive = PLOVER
else:
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for name in sorted(os.listdir(SOURCE)):
            if name.endswith(".py"):
                z.write(os.path.join(SOURCE, name), "io_export_plover/" + name)
        for name in ("plover", "plover.dle", "plover_assimp.so", "plover_preview.so"):
            path = os.path.join(os.path.dirname(PLOVER), name)
            if os.path.isfile(path):
                z.write(path, "io_export_plover/bin/linux-x64/" + name)

# No plover on PATH.
os.environ["PATH"] = os.pathsep.join(p for p in os.environ["PATH"].split(os.pathsep)
                                     if not os.path.isfile(os.path.join(p, "plover")))
assert shutil.which("plover") is None
bpy.ops.wm.read_factory_settings(use_empty=True)
assert bpy.ops.preferences.addon_install(filepath=archive) == {"FINISHED"}
assert bpy.ops.preferences.addon_enable(module="io_export_plover") == {"FINISHED"}
import io_export_plover  # noqa: E402
assert os.path.abspath(io_export_plover.__file__).startswith(os.path.abspath(os.environ["BLENDER_USER_SCRIPTS"]))

bpy.ops.mesh.primitive_cube_add()
bpy.context.object.name = "Crate"
path = os.path.join(folder, "crate.x")
assert bpy.ops.export_scene.plover_x(filepath=path, file_format="0") == {"FINISHED"}
assert os.path.isfile(path)
for ob in list(bpy.data.objects):   # (factory settings would disable the add-on)
    bpy.data.objects.remove(ob)
assert bpy.ops.import_scene.plover_x(filepath=path) == {"FINISHED"}
crate = bpy.data.objects["Crate"]
assert sum(len(p.vertices) - 2 for p in crate.data.polygons) == 12
bpy.ops.preferences.addon_disable(module="io_export_plover")
installed = os.path.dirname(os.path.abspath(io_export_plover.__file__))
try:
    bpy.ops.preferences.addon_remove(module="io_export_plover")
except RuntimeError as error:  # without a window it fails redrawing one, after removing the add-on
    if "tag_redraw" not in str(error):
        raise
assert not os.path.exists(installed), installed
print("install: ok")
