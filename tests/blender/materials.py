# A mesh with two UV maps, a colour attribute with alpha, three materials (one with an image
# texture and a normal map) and Auto Smooth: UV sets, colours, material colours, texture names.
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import helpers as h  # noqa: E402

folder = h.start("materials")
bpy.ops.mesh.primitive_cube_add()
cube = bpy.context.object
cube.name = "Crate"
mesh = cube.data
mesh.use_auto_smooth = True
second = mesh.uv_layers.new(name="Detail")
for i, d in enumerate(second.data):
    d.uv = (0.1 * (i % 5), 0.05 * i)
colours = mesh.color_attributes.new("Paint", "BYTE_COLOR", "CORNER")
for i, d in enumerate(colours.data):
    d.color_srgb = ((i % 4) / 3.0, 1.0 - (i % 3) / 2.0, 0.5, [1.0, 0.6, 0.2][i % 3])
mesh.color_attributes.render_color_index = 0

image = bpy.data.images.new("crate_diffuse", 4, 4)
image.pixels = [0.5] * 64
image.filepath_raw = os.path.join(folder, "crate_diffuse.png")
image.file_format = "PNG"
image.save()
normal_image = bpy.data.images.new("crate_normal", 4, 4)
normal_image.pixels = [0.5, 0.5, 1.0, 1.0] * 16
normal_image.pack()                         # written beside the X file by the export

COLOURS = {"Red": (0.8, 0.1, 0.1, 1.0), "Glass": (0.2, 0.4, 0.9, 0.25), "Textured": (0.3, 0.3, 0.3, 1.0)}
for name, colour in COLOURS.items():
    mat = bpy.data.materials.new(name)
    mat.use_nodes = True
    bsdf = mat.node_tree.nodes["Principled BSDF"]
    bsdf.inputs["Base Color"].default_value = colour
    bsdf.inputs["Alpha"].default_value = colour[3]
    bsdf.inputs["Emission"].default_value = (0.0, 0.5, 0.0, 1.0) if name == "Red" else (0, 0, 0, 1)
    if name == "Textured":
        nodes, links = mat.node_tree.nodes, mat.node_tree.links
        tex = nodes.new("ShaderNodeTexImage")
        tex.image = image
        uv = nodes.new("ShaderNodeUVMap")
        uv.uv_map = "Detail"
        links.new(uv.outputs["UV"], tex.inputs["Vector"])
        links.new(tex.outputs["Color"], bsdf.inputs["Base Color"])
        ntex = nodes.new("ShaderNodeTexImage")
        ntex.image = normal_image
        nmap = nodes.new("ShaderNodeNormalMap")
        links.new(ntex.outputs["Color"], nmap.inputs["Color"])
        links.new(nmap.outputs["Normal"], bsdf.inputs["Normal"])
    mesh.materials.append(mat)
for i, poly in enumerate(mesh.polygons):
    poly.material_index = i % 3
mesh.calc_loop_triangles()
triangles = len(mesh.loop_triangles)


def uv_set(layer):
    # X files count v downwards; Assimp turns them back.
    return {(round(d.uv[0], 4), round(d.uv[1], 4)) for d in layer.data}


expected_uvs = [uv_set(mesh.uv_layers[0]), uv_set(second)]
expected_colours = {tuple(round(c, 2) for c in d.color_srgb) for d in colours.data}

for fmt in h.FORMATS:
    path = os.path.join(folder, "crate%s.x" % fmt)
    h.export(path, fmt, vertex_colors=True)
    tree = h.inspect(path)
    meshes = list(h.walk(tree["objects"], "Mesh"))
    assert [m["fields"]["nFaces"] for m in meshes] == [triangles], meshes
    materials = {m["name"]: m for m in h.walk(tree["objects"], "Material")}
    assert sorted(materials) == sorted(COLOURS), sorted(materials)
    for name in ("Red", "Glass"):
        face = materials[name]["fields"]["faceColor"]
        got = (face["red"], face["green"], face["blue"], face["alpha"])
        assert all(abs(a - b) < 1e-4 for a, b in zip(got, COLOURS[name])), (name, got)
    emissive = materials["Red"]["fields"]["emissiveColor"]
    assert abs(emissive["green"] - 0.5) < 1e-4, emissive
    textures = [t["fields"]["filename"] for t in h.walk([materials["Textured"]], "TextureFilename")]
    assert textures and textures[0] == "crate_diffuse.png", textures
    assert os.path.isfile(os.path.join(folder, "crate_diffuse.png"))

    gltf = h.Gltf(path)
    uvs = [set(), set()]
    got_colours = set()
    for prim in gltf.primitives():
        for k in range(2):
            uvs[k] |= {(round(u, 4), round(1.0 - v, 4)) for u, v in gltf.accessor(prim["attributes"]["TEXCOORD_%d" % k])}
        got_colours |= {tuple(round(c, 2) for c in col) for col in gltf.accessor(prim["attributes"]["COLOR_0"])}
        assert "TEXCOORD_2" not in prim["attributes"]
    assert uvs == expected_uvs, (uvs, expected_uvs)
    assert got_colours == expected_colours, (got_colours, expected_colours)
    assert len(gltf.doc["materials"]) == 3
print("materials: ok")
