# Makes column.fbx and column.glb, one small Blender scene written by Blender's own FBX and glTF
# exporters, so that tests can check that both give the same X file. Run with Blender 3.4
# (Debian's blender, which needs python3-numpy for its glTF exporter):
#   blender -b --factory-startup --python tests/assets/fbx/make_column.py -- tests/assets/fbx
# The scene: an armature "Rig" with the bones "Hip" and "Knee", a smooth-shaded column "Body" of
# three rings of four vertices skinned to them (left at the top level, where the FBX exporter
# writes a skinned mesh anyway), and a cube "Box" away from the origin; the knee bends and the
# box moves over frames 0 to 10 at 30 frames a second.
import os
import sys

import bpy

out = sys.argv[sys.argv.index("--") + 1]
bpy.ops.wm.read_factory_settings(use_empty=True)
scene = bpy.context.scene
scene.render.fps = 30
scene.frame_start, scene.frame_end = 0, 10

arm = bpy.data.armatures.new("Rig")
rig = bpy.data.objects.new("Rig", arm)
scene.collection.objects.link(rig)
bpy.context.view_layer.objects.active = rig
bpy.ops.object.mode_set(mode='EDIT')
hip = arm.edit_bones.new("Hip")
hip.head, hip.tail = (0, 0, 0), (0, 0, 1)
knee = arm.edit_bones.new("Knee")
knee.head, knee.tail, knee.parent = (0, 0, 1), (0, 0, 2), hip
bpy.ops.object.mode_set(mode='OBJECT')

verts = [(x, y, ring * 1.0) for ring in range(3) for (x, y) in [(-.2, -.2), (.2, -.2), (.2, .2), (-.2, .2)]]
faces = [(r * 4 + i, r * 4 + (i + 1) % 4, r * 4 + (i + 1) % 4 + 4, r * 4 + i + 4) for r in range(2) for i in range(4)]
mesh = bpy.data.meshes.new("Body")
mesh.from_pydata(verts, [], faces)
for polygon in mesh.polygons:
    polygon.use_smooth = True  # one normal per vertex: the FBX's corners weld back to 12 vertices
mesh.update()
body = bpy.data.objects.new("Body", mesh)
scene.collection.objects.link(body)
body.modifiers.new("Armature", 'ARMATURE').object = rig
hips, knees = body.vertex_groups.new(name="Hip"), body.vertex_groups.new(name="Knee")
hips.add([0, 1, 2, 3], 1.0, 'REPLACE')
hips.add([4, 5, 6, 7], 0.5, 'REPLACE')
knees.add([4, 5, 6, 7], 0.5, 'REPLACE')
knees.add([8, 9, 10, 11], 1.0, 'REPLACE')

bpy.ops.mesh.primitive_cube_add(size=0.5, location=(2, 0, 0.25))
box = bpy.context.active_object
box.name = "Box"
box.keyframe_insert("location", frame=0)
box.location = (2, 1, 0.25)
box.keyframe_insert("location", frame=10)

bpy.context.view_layer.objects.active = rig
bpy.ops.object.mode_set(mode='POSE')
bend = rig.pose.bones["Knee"]
bend.rotation_mode = 'XYZ'
bend.keyframe_insert("rotation_euler", frame=0)
bend.rotation_euler = (0.5, 0, 0)
bend.keyframe_insert("rotation_euler", frame=10)
bpy.ops.object.mode_set(mode='OBJECT')

# Leaf bones and one take per action would give the FBX nodes and clips the glTF does not have.
bpy.ops.export_scene.fbx(filepath=os.path.join(out, "column.fbx"), add_leaf_bones=False,
                         bake_anim_use_all_actions=False, bake_anim_use_nla_strips=False)
bpy.ops.export_scene.gltf(filepath=os.path.join(out, "column.glb"), export_format='GLB')
