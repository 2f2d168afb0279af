# The import operator: a scene exported through the add-on, imported back through
# `plover convert` and Blender's glTF importer, has the same meshes with their triangles, the
# same bones, the actions named as the animation sets with their frame lengths, the frame rate,
# the materials and the images. A file plover cannot read is an error naming it.
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import helpers as h  # noqa: E402

folder = h.start("import_x")
scene = bpy.context.scene
scene.render.fps = 25
BONES = ("Root", "Mid", "Tip")

arm_data = bpy.data.armatures.new("RigData")
arm = bpy.data.objects.new("Rig", arm_data)
scene.collection.objects.link(arm)
bpy.context.view_layer.objects.active = arm
bpy.ops.object.mode_set(mode="EDIT")
parent = None
for i, name in enumerate(BONES):
    bone = arm_data.edit_bones.new(name)
    bone.head, bone.tail = (0, 0, i), (0, 0, i + 1)
    bone.parent = parent
    bone.use_connect = parent is not None
    parent = bone
bpy.ops.object.mode_set(mode="OBJECT")

bpy.ops.mesh.primitive_cylinder_add(vertices=6, radius=0.3, depth=3, location=(0, 0, 1.5))
tube = bpy.context.object
tube.name = "Tube"
bpy.ops.object.mode_set(mode="EDIT")
bpy.ops.mesh.subdivide(number_cuts=2)
bpy.ops.object.mode_set(mode="OBJECT")
tube.parent = arm
groups = [tube.vertex_groups.new(name=name) for name in BONES]
for v in tube.data.vertices:
    groups[min(int(v.co.z + 1.5), 2)].add([v.index], 1.0, "REPLACE")
tube.modifiers.new("Armature", "ARMATURE").object = arm

# A textured material on the tube, a plain one on a box.
image = bpy.data.images.new("Checker", 4, 4)
image.filepath_raw = os.path.join(folder, "checker.png")
image.file_format = "PNG"
image.save()
textured = bpy.data.materials.new("Skin")
textured.use_nodes = True
tex = textured.node_tree.nodes.new("ShaderNodeTexImage")
tex.image = image
textured.node_tree.links.new(tex.outputs["Color"], textured.node_tree.nodes["Principled BSDF"].inputs["Base Color"])
tube.data.materials.append(textured)
bpy.ops.mesh.primitive_cube_add(location=(3, 0, 0))
box = bpy.context.object
box.name = "Box"
plain = bpy.data.materials.new("Paint")
box.data.materials.append(plain)


def make_action(name, frames, angles):
    arm.animation_data_create()
    action = bpy.data.actions.new(name)
    arm.animation_data.action = action
    for frame, angle in zip(frames, angles):
        for bone in BONES[1:]:
            pb = arm.pose.bones[bone]
            pb.rotation_mode = "XYZ"
            pb.rotation_euler = (angle, 0, 0)
            pb.keyframe_insert("rotation_euler", frame=frame)
    action.use_fake_user = True
    return action


make_action("Sway", (1, 11, 21), (0.0, 0.5, -0.5))
arm.animation_data.action = make_action("Nod", (5, 15), (0.0, 0.8))


def triangles(ob):
    return sum(len(p.vertices) - 2 for p in ob.data.polygons)


source = {
    "meshes": {ob.name: triangles(ob) for ob in scene.objects if ob.type == "MESH"},
    "bones": sorted(BONES),
    "heads": {b.name: (arm.matrix_world @ b.head_local).copy() for b in arm.data.bones},
    "actions": {"Sway": 20, "Nod": 10},
    "materials": {"Skin", "Paint"},
}
path = os.path.join(folder, "scene.x")
bpy.context.scene.frame_set(15)   # posed: the file's frames differ from the bind pose
h.export(path, "1")

bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene
scene.render.fps = 30        # the file's keys are at 25 fps: the import sets it
result = bpy.ops.import_scene.plover_x(filepath=path)
assert result == {"FINISHED"}, result
assert scene.render.fps == 25 and scene.render.fps_base == 1.0, (scene.render.fps, scene.render.fps_base)
meshes = {ob.name: triangles(ob) for ob in scene.objects if ob.type == "MESH"}
assert meshes == source["meshes"], meshes
armatures = [ob for ob in scene.objects if ob.type == "ARMATURE"]
assert len(armatures) == 1, armatures
assert sorted(b.name for b in armatures[0].data.bones) == source["bones"], list(armatures[0].data.bones)
rig = armatures[0]
for bone in rig.data.bones:   # the bind pose: bones at their rest places
    head = rig.matrix_world @ bone.head_local
    assert (head - source["heads"][bone.name]).length < 1e-4, (bone.name, head, source["heads"][bone.name])
skinned = bpy.data.objects["Tube"]
assert any(m.type == "ARMATURE" and m.object == armatures[0] for m in skinned.modifiers), "the tube lost its skin"
lengths = {a.name: round(a.frame_range[1] - a.frame_range[0]) for a in bpy.data.actions}
for name, length in source["actions"].items():
    assert lengths.get(name) == length, lengths
    assert bpy.data.actions[name].frame_range[0] == 0, bpy.data.actions[name].frame_range
materials = {m.name for m in bpy.data.materials if m.users}
assert source["materials"] <= materials, materials
images = [i for i in bpy.data.images if i.users and i.size[0] == 4]
assert len(images) == 1, list(bpy.data.images)

# Files in the other forms and from other writers: binary with DeclData, a binary skin, the
# compressed forms (text and binary) and a hand-made file of format oddities; the triangles,
# bones, actions and UV sets they hold come through.
corpus = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "fuzz", "corpus")
others = [("x_import/box_decl.x", 12, 0, (), True), ("x_import/simple_skin_1.x", 8, 2, ("Anim1",), False),
          ("xfile_reader/scene.bzip.x", 2, 1, ("Wave",), True), ("xfile_reader/scene.tzip.x", 2, 1, ("Wave",), True),
          ("xfile_reader/edges.bzip.x", 1, 0, (), False)]
for name, tris, bones, clips, uvs in others:
    bpy.ops.wm.read_factory_settings(use_empty=True)
    assert bpy.ops.import_scene.plover_x(filepath=os.path.join(corpus, name)) == {"FINISHED"}, name
    mesh_objects = [ob for ob in bpy.context.scene.objects if ob.type == "MESH"]
    assert sum(triangles(ob) for ob in mesh_objects) == tris, (name, [triangles(ob) for ob in mesh_objects])
    assert sum(len(ob.data.bones) for ob in bpy.context.scene.objects if ob.type == "ARMATURE") == bones, name
    # One action per animated object, named after its animation set.
    found = {clip for clip in clips for a in bpy.data.actions if a.name == clip or a.name.startswith(clip + "_")}
    assert found == set(clips) and all(a.name.startswith(clips) for a in bpy.data.actions), (name, list(bpy.data.actions))
    assert not uvs or all(ob.data.uv_layers for ob in mesh_objects), name

# Scale and a file plover cannot read.
bpy.ops.wm.read_factory_settings(use_empty=True)
assert bpy.ops.import_scene.plover_x(filepath=path, scale=2.0) == {"FINISHED"}
assert abs(bpy.data.objects["Box"].matrix_world.translation.length - 6.0) < 1e-4, bpy.data.objects["Box"].matrix_world
broken = os.path.join(folder, "broken.x")
with open(broken, "wb") as f:
    f.write(b"xof 0303txt 0032\nFrame {")
try:
    bpy.ops.import_scene.plover_x(filepath=broken)
    raise AssertionError("a broken file was imported")
except RuntimeError as error:
    assert "broken.x" in str(error), error
print("import_x: ok")
