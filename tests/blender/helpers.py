# Shared by the scenario scripts, which run inside headless Blender:
#   blender -b --factory-startup --python-exit-code 1 --python SCENARIO.py -- PLOVER WORKDIR
# Each scenario builds a scene, exports it through the add-on in the three formats and reads
# the results back with `plover inspect --json` and with Assimp (the `assimp` command converts
# the X file to glTF, which is plain JSON plus a buffer).

import base64
import json
import os
import shutil
import struct
import subprocess
import sys

import bpy
from mathutils import Matrix, Quaternion, Vector

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "blender"))
import io_export_plover  # noqa: E402

ARGS = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
PLOVER, WORK = ARGS[0], ARGS[1]
FORMATS = ("0", "1", "2")
# Blender's Z-up right-handed space to the X file's default Y-up left-handed one.
SWAP_YZ = Matrix(((1, 0, 0, 0), (0, 0, 1, 0), (0, 1, 0, 0), (0, 0, 0, 1)))
# Assimp reads X files into its right-handed space by mirroring Z: Blender's (x, y, z) is (x, z, -y).
TO_ASSIMP = Matrix(((1, 0, 0, 0), (0, 0, 1, 0), (0, -1, 0, 0), (0, 0, 0, 1)))


def start(name):
    """An empty scene, the add-on registered, plover found on PATH, a clean work folder."""
    bpy.ops.wm.read_factory_settings(use_empty=True)
    io_export_plover.register()
    os.environ["PATH"] = os.path.dirname(os.path.abspath(PLOVER)) + os.pathsep + os.environ["PATH"]
    # A private options folder: the user's file must neither count nor change.
    os.environ["XDG_CONFIG_HOME"] = os.path.join(WORK, name, "config")
    folder = os.path.join(WORK, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def export(path, file_format, **options):
    result = bpy.ops.export_scene.plover_x(filepath=path, file_format=file_format, **options)
    assert result == {"FINISHED"}, "export of %s failed: %s" % (path, result)
    assert os.path.isfile(path), path


def inspect(path):
    out = subprocess.run([PLOVER, "inspect", path, "--json"], check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def walk(objects, template=None):
    """Data objects of `template` (every one when None), depth first; references are skipped:
    their "template" key names the template of the object they refer to."""
    for o in objects:
        if "reference" in o:
            continue
        if template is None or o.get("template") == template:
            yield o
        yield from walk(o.get("children", []), template)


def frame_worlds(tree):
    """Frame name -> world matrix (column-vector form), from the inspected X file."""
    worlds = {}

    def visit(frame, parent):
        local = next((c for c in frame["children"] if c.get("template") == "FrameTransformMatrix"), None)
        m = Matrix.Identity(4)
        if local is not None:
            v = local["fields"]["frameMatrix"]["matrix"]["values"]
            m = Matrix([v[0:4], v[4:8], v[8:12], v[12:16]]).transposed()
        world = parent @ m
        worlds[frame["name"]] = world
        for child in frame["children"]:
            if child.get("template") == "Frame":
                visit(child, world)
    for o in tree["objects"]:
        if o.get("template") == "Frame":
            visit(o, Matrix.Identity(4))
    return worlds


def to_x(m):
    """A Blender world matrix as the X file holds it with the default options."""
    return SWAP_YZ @ m @ SWAP_YZ


def assert_matrix(a, b, tol, what):
    for i in range(4):
        for j in range(4):
            assert abs(a[i][j] - b[i][j]) <= tol, "%s:\n%s\n!=\n%s" % (what, a, b)


def assert_world(x_world, expected, what):
    """A frame's world matrix; a mirroring one may be written turned by -1 (the mesh beneath
    then holds the mirror), so both are accepted there and the geometry is checked apart."""
    if expected.determinant() < 0:
        flipped = expected @ Matrix.Diagonal((-1, -1, -1, 1))
        if all(abs(x_world[i][j] - flipped[i][j]) <= 1e-4 for i in range(4) for j in range(4)):
            return
    assert_matrix(x_world, expected, 1e-4, what)


def world_points(ob, depsgraph=None):
    """The evaluated mesh's vertices in world space, in Assimp's axes."""
    depsgraph = depsgraph or bpy.context.evaluated_depsgraph_get()
    evaluated = ob.evaluated_get(depsgraph)
    mesh = evaluated.to_mesh()
    m = TO_ASSIMP @ evaluated.matrix_world
    points = [m @ v.co for v in mesh.vertices]
    evaluated.to_mesh_clear()
    return points


class Gltf:
    """The X file as Assimp reads it, through `assimp export FILE.x FILE.gltf`."""

    def __init__(self, x_path):
        path = os.path.splitext(x_path)[0] + "_assimp.gltf"
        done = subprocess.run(["assimp", "export", x_path, path, "-f", "gltf2"], capture_output=True, text=True)
        assert done.returncode == 0, "assimp could not read %s: %s" % (x_path, done.stdout + done.stderr)
        with open(path) as f:
            self.doc = json.load(f)
        self.buffers = []
        for b in self.doc.get("buffers", []):
            uri = b["uri"]
            if uri.startswith("data:"):
                self.buffers.append(base64.b64decode(uri.split(",", 1)[1]))
            else:
                with open(os.path.join(os.path.dirname(path), uri), "rb") as f:
                    self.buffers.append(f.read())

    def accessor(self, index):
        a = self.doc["accessors"][index]
        view = self.doc["bufferViews"][a["bufferView"]]
        width = {"SCALAR": 1, "VEC2": 2, "VEC3": 3, "VEC4": 4, "MAT4": 16}[a["type"]]
        fmt = {5126: "f", 5125: "I", 5123: "H", 5121: "B"}[a["componentType"]]
        size = struct.calcsize(fmt)
        stride = view.get("byteStride", size * width)
        data = self.buffers[view["buffer"]]
        start = view.get("byteOffset", 0) + a.get("byteOffset", 0)
        return [struct.unpack_from("<%d%s" % (width, fmt), data, start + i * stride) for i in range(a["count"])]

    def node(self, name):
        return next(i for i, n in enumerate(self.doc["nodes"]) if n.get("name") == name)

    def primitives(self):
        for mesh in self.doc.get("meshes", []):
            yield from mesh["primitives"]

    def parents(self):
        parent = {}
        for i, n in enumerate(self.doc["nodes"]):
            for c in n.get("children", []):
                parent[c] = i
        return parent

    @staticmethod
    def local(node, channels):
        """A node's local matrix with its animated translation, rotation and scale."""
        if "matrix" in node:
            v = node["matrix"]
            m = Matrix([v[0:4], v[4:8], v[8:12], v[12:16]]).transposed()
            if not channels:
                return m
            t, r, s = m.decompose()
        else:
            q = node.get("rotation", (0, 0, 0, 1))
            t, r, s = (Vector(node.get("translation", (0, 0, 0))), Quaternion((q[3], q[0], q[1], q[2])),
                       Vector(node.get("scale", (1, 1, 1))))
        return Matrix.LocRotScale(channels.get("translation", t), channels.get("rotation", r), channels.get("scale", s))

    def pose(self, animation_name, seconds):
        """Node index -> world matrix with the named animation at the given time."""
        channels = {}
        anim = next((a for a in self.doc.get("animations", []) if a["name"] == animation_name), {"channels": []})
        for ch in anim["channels"]:
            sampler = anim["samplers"][ch["sampler"]]
            times = [t[0] for t in self.accessor(sampler["input"])]
            values = self.accessor(sampler["output"])
            k = 0
            while k + 1 < len(times) and times[k + 1] <= seconds:
                k += 1
            a, b = values[k], values[min(k + 1, len(values) - 1)]
            f = 0.0
            if k + 1 < len(times) and times[k + 1] > times[k]:
                f = min(1.0, max(0.0, (seconds - times[k]) / (times[k + 1] - times[k])))
            path = ch["target"]["path"]
            if path == "rotation":
                qa, qb = Quaternion((a[3], a[0], a[1], a[2])), Quaternion((b[3], b[0], b[1], b[2]))
                value = qa.slerp(qb, f)
            else:
                value = Vector(a).lerp(Vector(b), f)
            channels.setdefault(ch["target"]["node"], {})[path] = value
        parent = self.parents()
        worlds = {}

        def world(i):
            if i not in worlds:
                m = self.local(self.doc["nodes"][i], channels.get(i, {}))
                worlds[i] = (world(parent[i]) @ m) if i in parent else m
            return worlds[i]
        for i in range(len(self.doc["nodes"])):
            world(i)
        return worlds

    def world_positions(self, node_name):
        """The static positions of a node's mesh in world space."""
        worlds = self.pose(None, 0.0)
        i = self.node(node_name)
        out = []
        for prim in self.doc["meshes"][self.doc["nodes"][i]["mesh"]]["primitives"]:
            out += [worlds[i] @ Vector(p) for p in self.accessor(prim["attributes"]["POSITION"])]
        return out

    def animation_lengths(self):
        """Animation name -> its last key time in seconds."""
        lengths = {}
        for a in self.doc.get("animations", []):
            lengths[a["name"]] = max(self.accessor(s["input"])[-1][0] for s in a["samplers"])
        return lengths

    def skinned_positions(self, mesh_node, animation_name, seconds):
        """Positions of the skinned mesh of a node (all primitives) posed at a time."""
        worlds = self.pose(animation_name, seconds)
        node = self.doc["nodes"][mesh_node]
        skin = self.doc["skins"][node["skin"]]
        inverse = [Matrix([v[0:4], v[4:8], v[8:12], v[12:16]]).transposed()
                   for v in self.accessor(skin["inverseBindMatrices"])]
        joints = [worlds[j] @ inverse[k] for k, j in enumerate(skin["joints"])]
        out = []
        for prim in self.doc["meshes"][node["mesh"]]["primitives"]:
            attrs = prim["attributes"]
            for p, js, ws in zip(self.accessor(attrs["POSITION"]), self.accessor(attrs["JOINTS_0"]),
                                 self.accessor(attrs["WEIGHTS_0"])):
                total = Vector((0, 0, 0))
                for j, w in zip(js, ws):
                    if w > 0:
                        total += w * (joints[j] @ Vector(p))
                out.append(total)
        return out


def nearest_distance(points, others):
    """The largest distance from a point of one set to the nearest point of the other."""
    worst = 0.0
    for p in points:
        worst = max(worst, min((p - q).length for q in others))
    return worst
