# A hierarchy with non-uniform and negative scale, a modifier, a camera and a light: frame names
# and world transforms, triangle counts, selection.
import math
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import helpers as h  # noqa: E402

folder = h.start("hierarchy")
root = bpy.data.objects.new("Root", None)
root.location = (1, 2, 3)
root.rotation_euler = (0.3, 0.2, 0.9)
root.scale = (1.0, 2.0, 0.5)
bpy.ops.mesh.primitive_cube_add()
box = bpy.context.object
box.name = "Box"
box.parent = root
box.location = (2, 0, -1)
box.rotation_euler = (0, math.radians(30), 0)
box.scale = (-1.0, 1.5, 1.0)
box.modifiers.new("Bevel", "BEVEL").segments = 2
bpy.ops.mesh.primitive_uv_sphere_add(segments=8, ring_count=5)
ball = bpy.context.object
ball.name = "Ball.001"       # the X file's name sanitising turns "." into "_"
ball.parent = box
ball.location = (0, 3, 0)
camera = bpy.data.objects.new("Camera", bpy.data.cameras.new("Camera"))
camera.parent = box
camera.location = (0, -5, 1)
camera.rotation_euler = (math.radians(80), 0, 0)
light = bpy.data.objects.new("Light", bpy.data.lights.new("Light", "POINT"))
light.location = (4, 4, 4)
for ob in (root, camera, light):
    bpy.context.scene.collection.objects.link(ob)
bpy.context.view_layer.update()

depsgraph = bpy.context.evaluated_depsgraph_get()
expected_faces = {}
for ob in (box, ball):
    mesh = ob.evaluated_get(depsgraph).to_mesh()
    mesh.calc_loop_triangles()
    expected_faces[ob] = len(mesh.loop_triangles)
    ob.evaluated_get(depsgraph).to_mesh_clear()
names = {root: "Root", box: "Box", ball: "Ball_001", camera: "Camera", light: "Light"}

trees = []
for fmt in h.FORMATS:
    path = os.path.join(folder, "scene%s.x" % fmt)
    h.export(path, fmt, empties=True, other_objects=True)
    tree = h.inspect(path)
    trees.append(tree)
    worlds = h.frame_worlds(tree)
    for ob, name in names.items():
        assert name in worlds, "%s: no frame %s in %s" % (path, name, sorted(worlds))
        h.assert_world(worlds[name], h.to_x(ob.matrix_world), "%s: world of %s" % (path, name))
    meshes = {m["name"]: m["fields"]["nFaces"] for m in h.walk(tree["objects"], "Mesh")}
    assert meshes == {"Box": expected_faces[box], "Ball_001": expected_faces[ball]}, meshes
    # Assimp reads the same hierarchy.
    gltf = h.Gltf(path)
    parent = gltf.parents()
    assert gltf.doc["nodes"][parent[gltf.node("Ball_001")]]["name"] == "Box"
    for ob in (box, ball):
        points = gltf.world_positions(names[ob])
        expected = h.world_points(ob)
        assert h.nearest_distance(points, expected) < 1e-4 and h.nearest_distance(expected, points) < 1e-4, \
            "%s: geometry of %s" % (path, ob.name)

text, binary, compressed = trees
assert text["format"] != binary["format"] != compressed["format"]
for other in (binary, compressed):
    assert other["objects"] == text["objects"] or \
        h.frame_worlds(other).keys() == h.frame_worlds(text).keys()

# Selected only: the box without the sphere beneath it.
bpy.ops.object.select_all(action="DESELECT")
box.select_set(True)
path = os.path.join(folder, "selected.x")
h.export(path, "0", selected_only=True)
meshes = [m["name"] for m in h.walk(h.inspect(path)["objects"], "Mesh")]
assert meshes == ["Box"], meshes

# The user's options file was neither read as changed nor written.
assert not os.path.exists(os.path.join(folder, "config", "plover", "plover_max_config.ini"))
print("hierarchy: ok")
