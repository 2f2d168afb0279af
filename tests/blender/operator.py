# The operator around the export: defaults from the options file, keeping options only when
# asked, plover's failures reported as errors, progress and message parsing, NLA tracks as clips over one or many objects.
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import helpers as h  # noqa: E402
from io_export_plover import panel_hint, panel_values, plover_command  # noqa: E402
from io_export_plover.scene_document import timing_change  # noqa: E402

folder = h.start("operator")
config = os.path.join(folder, "config", "plover", "plover_max_config.ini")


def export_fails(path, text, **options):
    try:
        bpy.ops.export_scene.plover_x(filepath=path, **options)
    except RuntimeError as error:   # an operator that reports an error raises in scripts
        assert text in str(error), error
        return
    raise AssertionError("export of %s did not fail" % path)


# An empty scene: plover writes nothing and says why.
export_fails(os.path.join(folder, "empty.x"), "no file written")
assert not os.path.exists(os.path.join(folder, "empty.x"))

bpy.ops.mesh.primitive_plane_add()
plane = bpy.context.object
plane.animation_data_create()
track = plane.animation_data.nla_tracks.new()
for name, start, end in (("Rise", 1, 10), ("Fall 2", 20, 35)):
    plane.location.z = 0
    plane.keyframe_insert("location", frame=1)
    plane.location.z = 2
    plane.keyframe_insert("location", frame=end - start + 1)
    action = plane.animation_data.action
    plane.animation_data.action = None
    track.strips.new(name, start, action).name = name

# Script defaults come from the options file; nothing is written to it.
os.makedirs(os.path.dirname(config))
with open(config, "w") as f:
    f.write("[Option]\nXFileType=0\nTangent=1\n")
path = os.path.join(folder, "plane.x")
h.export(path, "0", tangents=False)
tree = h.inspect(path)
assert tree["format"] == "text"
assert not list(h.walk(tree["objects"], "DeclData"))
with open(config) as f:
    assert f.read() == "[Option]\nXFileType=0\nTangent=1\n"
sets = [(o["name"]) for o in tree["objects"] if o.get("template") == "AnimationSet"]
assert sets == ["Rise", "Fall_2"], sets
lengths = h.Gltf(path).animation_lengths()
assert abs(lengths["Rise"] - 9 / 24) < 1e-3 and abs(lengths["Fall_2"] - 15 / 24) < 1e-3, lengths

options, keys = plover_command.read_options(h.PLOVER, os.path.dirname(config))
assert options["XFileType"] == "0" and options["Normal"] == "1" and keys == {"xfiletype", "tangent"}, keys

# Keep as defaults stores what was given.
h.export(path, "1", decl_data=True, keep_options=True)
with open(config) as f:
    kept = f.read()
assert "DeclData=1" in kept and "XFileType=1" in kept and "Tangent=1" in kept, kept

# The panel's values, read as the exporter reads the file.
values = panel_values({"XFileType": "7", "Tangent": "1abc", "Normal": "x", "SpaceScale": "0.5",
                       "SampleRate": "", "RightHand": "0"})
assert values == {"file_format": "2", "tangents": True, "normals": False, "scale": 0.5,
                  "right_handed": False}, values

# A plover that cannot be found is named.
try:
    plover_command.find_plover(os.path.join(folder, "missing", "plover"))
    raise AssertionError("a missing plover was accepted")
except plover_command.PloverError as error:
    assert "missing" in str(error)

# Progress redraws and terminal codes are not messages; messages are kept once each.
lines = plover_command.message_lines(b"\rExport [##....] 10%\x1b[K\r\x1b[KWarning: no bones\n"
                                     b"\rExport [######] 100%\x1b[K\nplover: wrote a.x\nplover: wrote a.x\n")
assert lines == ["Warning: no bones", "plover: wrote a.x"], lines
seen = []
code, lines = plover_command.run_export(
    ["/bin/sh", "-c", "printf '\\rX 5%%\\rX 50%%\\rX 100%%\\ndone\\n' >&2"], seen.append)
assert code == 0 and lines == ["done"] and seen and seen[-1] == 100, (code, lines, seen)

# A failed export's error is its cause; hints name the panel's controls.
os.makedirs(os.path.join(folder, "taken.x"))
export_fails(os.path.join(folder, "taken.x"), "is a folder")
export_fails(os.path.join(folder, "taken.x"), "(no file written)")
assert panel_hint("tangents left out: set DeclData=1") == 'tangents left out: tick "DeclData" in the export panel'
assert panel_hint("maps left out: set Multi-Textures=1") == 'maps left out: tick "Multi-Textures" in the export panel'
assert panel_hint("skin weights left out: set Skin=1") == "skin weights left out: add Skin=1 to More Options"
assert panel_hint("plover: wrote a.x") == "plover: wrote a.x"
# A frame rate the export replaces says how the timing changes.
assert timing_change(30 / 1.001, 30) == ("Frame rate 29.97 fps does not divide 4800 ticks per second: exported at "
                                         "30 fps, so the animation plays 0.0999% faster (10 s of the scene last 9.990 s)"), \
    timing_change(30 / 1.001, 30)
assert "slower" in timing_change(7, 6)
h.export(os.path.join(folder, "multi.x"), "0", multi_textures=True, preview=True)
picture = os.path.join(folder, "multi_preview.png")
assert os.path.getsize(picture) > 0 and bpy.data.images["multi_preview.png"].size[0] > 0

# NLA tracks over many objects: one clip per track name, each object playing its own strip
# (twenty objects with offset "Walk" strips, three with "Jump", two with differently named
# "Left" and "Right" overlapping the others); clips that overlap on the timeline follow
# each other.
bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene
scene.render.fps = 24


def strip_on(ob, track_name, start, index, amplitude):
    ob.animation_data_create()
    action = bpy.data.actions.new("%s_%s" % (ob.name, track_name))
    curve = action.fcurves.new("location", index=index)
    base = ob.location[index]
    for frame, value in ((1, base), (11, base + amplitude)):
        curve.keyframe_points.insert(frame, value).interpolation = "LINEAR"
    track = ob.animation_data.nla_tracks.new()
    track.name = track_name
    track.strips.new(track_name, start, action)


objects = []
for k in range(20):
    mesh = bpy.data.meshes.new("M%d" % k)
    mesh.from_pydata([(0, 0, 0), (1, 0, 0), (0, 1, 0)], [], [(0, 1, 2)])
    ob = bpy.data.objects.new("O%d" % k, mesh)
    ob.location = (0, 2 * k, 0)
    scene.collection.objects.link(ob)
    strip_on(ob, "Walk", 1 + k, 0, 1.0)
    objects.append(ob)
for ob in objects[:3]:
    strip_on(ob, "Jump", 40, 2, 2.0)
strip_on(objects[3], "Left", 1, 2, 1.0)
strip_on(objects[4], "Right", 5, 2, 1.0)
path = os.path.join(folder, "nla.x")
h.export(path, "1")
tree = h.inspect(path)
sets = [o["name"] for o in tree["objects"] if o.get("template") == "AnimationSet"]
assert sets == ["Left", "Walk", "Right", "Jump"], sets
gltf = h.Gltf(path)
lengths = gltf.animation_lengths()
for name, frames in (("Left", 10), ("Walk", 29), ("Right", 10), ("Jump", 10)):
    assert abs(lengths[name] - frames / 24) < 1e-3, lengths
for k in (0, 5, 19):
    for frame in (1, 3 + k, 30):
        x = gltf.pose("Walk", (frame - 1) / 24)[gltf.node("O%d" % k)].translation.x
        assert abs(x - min(max((frame - 1 - k) / 10, 0), 1)) < 1e-4, ("Walk", k, frame, x)
for k in (0, 2):
    y = gltf.pose("Jump", 5 / 24)[gltf.node("O%d" % k)].translation.y   # Blender's z
    assert abs(y - 1.0) < 1e-4, ("Jump", k, y)
# The tracks and actions are as they were.
assert all(not t.mute for ob in objects for t in ob.animation_data.nla_tracks)
assert all(ob.animation_data.action is None for ob in objects)
print("operator: ok")
