# An arm of four bones with two actions skinning a tube: bones and weights, clip names and
# lengths, and the deformation read back through Assimp against Blender's own at several frames.
import math
import os
import sys

import bpy
from mathutils import Vector

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import helpers as h  # noqa: E402

folder = h.start("armature")
scene = bpy.context.scene
scene.render.fps = 24
BONES = ("Shoulder", "Upper", "Fore", "Hand")

arm_data = bpy.data.armatures.new("ArmData")
arm = bpy.data.objects.new("Arm", arm_data)
scene.collection.objects.link(arm)
arm.location = (0.5, -1, 0.25)
bpy.context.view_layer.objects.active = arm
bpy.ops.object.mode_set(mode="EDIT")
parent = None
for i, name in enumerate(BONES):
    bone = arm_data.edit_bones.new(name)
    bone.head, bone.tail = (0, 0, i), (0, 0.1 * i, i + 1)
    bone.parent = parent
    bone.use_connect = parent is not None
    parent = bone
bpy.ops.object.mode_set(mode="OBJECT")

bpy.ops.mesh.primitive_cylinder_add(vertices=8, radius=0.3, depth=4, location=(0, 0, 2))
tube = bpy.context.object
tube.name = "Tube"
bpy.ops.object.mode_set(mode="EDIT")
bpy.ops.mesh.subdivide(number_cuts=7)
bpy.ops.object.mode_set(mode="OBJECT")
tube.parent = arm
tube.matrix_parent_inverse = arm.matrix_world.inverted()
groups = [tube.vertex_groups.new(name=name) for name in BONES]
for v in tube.data.vertices:
    # Blend between the two bones nearest to the vertex's height.
    z = min(max((tube.matrix_world @ v.co).z - arm.location.z, 0.0), 3.999)
    i = min(int(z), 3)
    f = z - i
    groups[i].add([v.index], 1.0 - f * 0.5, "REPLACE")
    if i < 3 and f > 0:
        groups[i + 1].add([v.index], f * 0.5, "REPLACE")
tube.modifiers.new("Armature", "ARMATURE").object = arm


def make_action(name, frames, angles):
    arm.animation_data_create()
    action = bpy.data.actions.new(name)
    arm.animation_data.action = action
    for frame, angle in zip(frames, angles):
        for k, bone in enumerate(BONES[1:]):
            pb = arm.pose.bones[bone]
            pb.rotation_mode = "XYZ"
            pb.rotation_euler = (angle * (k + 1) * 0.5, 0, angle * 0.3)
            pb.keyframe_insert("rotation_euler", frame=frame)
        root = arm.pose.bones["Shoulder"]
        root.location = (0, angle * 0.2, 0)
        root.keyframe_insert("location", frame=frame)
    action.use_fake_user = True
    return action


wave = make_action("Wave", (1, 8, 16), (0.0, 0.6, -0.4))
bend = make_action("Bend Down", (5, 25), (0.0, 1.2))
arm.animation_data.action = wave
scene.frame_set(1)
arm.hide_set(True)       # a hidden armature still skins the tube

size = max(tube.dimensions)
clips = {"Bend_Down": (5, 25, bend), "Wave": (1, 16, wave)}   # laid out in name order
for fmt in h.FORMATS:
    path = os.path.join(folder, "arm%s.x" % fmt)
    h.export(path, fmt)
    tree = h.inspect(path)
    sets = [o["name"] for o in tree["objects"] if o.get("template") == "AnimationSet"]
    assert sets == ["Bend_Down", "Wave"], sets
    weights = {o["fields"]["transformNodeName"]: o["fields"]["nWeights"] for o in h.walk(tree["objects"], "SkinWeights")}
    assert sorted(weights) == sorted(BONES), weights
    assert all(n > 0 for n in weights.values()), weights

    gltf = h.Gltf(path)
    lengths = gltf.animation_lengths()
    for name, (first, last, _) in clips.items():
        assert abs(lengths[name] - (last - first) / 24.0) < 1e-3, (name, lengths)
    mesh_node = next(i for i, n in enumerate(gltf.doc["nodes"]) if "skin" in n)
    for name, (first, last, action) in clips.items():
        arm.animation_data.action = action
        for frame in (first, (first + last) // 2 + 1, last):
            scene.frame_set(frame)
            expected = h.world_points(tube)
            got = gltf.skinned_positions(mesh_node, name, (frame - first) / 24.0)
            error = max(h.nearest_distance(got, expected), h.nearest_distance(expected, got))
            assert error < 1e-3 * size, "%s: %s frame %d off by %g" % (path, name, frame, error)
    arm.animation_data.action = wave
    scene.frame_set(1)

# The Blender state is as before the export: the active action and the frame.
assert arm.animation_data.action == wave and scene.frame_current == 1
assert tube.modifiers["Armature"].show_viewport
print("armature: ok")
