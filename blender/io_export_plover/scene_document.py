# Turns the Blender scene into a Plover scene document (docs/scene-format.md).
#
# Everything is read from the evaluated scene, so modifiers count as the viewport shows them.
# Transforms are written as 4x3 row matrices; Blender and the document are both right-handed
# and Z-up, so no axis change happens here. Animation is sampled once per frame.

import math
import os
import re

import bpy
from mathutils import Matrix

TICKS_PER_SECOND = 4800
SAMPLE_TOLERANCE = 1e-6
CLIP_NAME_LIMIT = 31


def row_matrix(m):
    """The document's 12-number form of a Blender 4x4 matrix (column vectors)."""
    return [m[0][0], m[1][0], m[2][0],
            m[0][1], m[1][1], m[2][1],
            m[0][2], m[1][2], m[2][2],
            m[0][3], m[1][3], m[2][3]]


def finite(values):
    """Document numbers must be finite 32-bit floats; anything else becomes 0."""
    return [v if math.isfinite(v) and abs(v) < 3.0e38 else 0.0 for v in values]


def timing_change(fps, rate):
    """The warning for a scene frame rate the export replaces by `rate` (frames are kept, so
    every frame lasts 1/rate seconds instead of 1/fps)."""
    factor = fps / rate
    change = abs(factor - 1.0) * 100.0
    return ("Frame rate %.6g fps does not divide 4800 ticks per second: exported at %d fps, so the "
            "animation plays %.3g%% %s (10 s of the scene last %.3f s)"
            % (fps, rate, change, "faster" if factor < 1 else "slower", 10.0 * factor))


def clip_name(text, used):
    """Letters, digits and '_' only, not starting with a digit, at most 31 characters, unique."""
    name = re.sub(r"[^A-Za-z0-9_]", "_", text)[:CLIP_NAME_LIMIT] or "Clip"
    if name[0].isdigit():
        name = ("_" + name)[:CLIP_NAME_LIMIT]
    base, n = name, 2
    while name in used:
        suffix = "_%d" % n
        name = base[:CLIP_NAME_LIMIT - len(suffix)] + suffix
        n += 1
    used.add(name)
    return name


class Dedup:
    """Shares equal tuples: returns the index of each value in a list of distinct values."""

    def __init__(self):
        self.index = {}
        self.values = []

    def add(self, value):
        key = tuple(round(v, 6) for v in value)
        i = self.index.get(key)
        if i is None:
            i = self.index[key] = len(self.values) // 3
            self.values.extend(finite(value))
        return i


class Node:
    def __init__(self, name, obj=None, bone=None):
        self.name = name
        self.obj = obj          # the Blender object (for a bone: its armature)
        self.bone = bone        # bone name, or None for an object node
        self.parent = None
        self.children = []
        self.samples = []       # (frame, local matrix) while sampling animation

    def world(self, depsgraph):
        ob = self.obj.evaluated_get(depsgraph)
        if self.bone is None:
            return ob.matrix_world.copy()
        return ob.matrix_world @ ob.pose.bones[self.bone].matrix

    def local(self, depsgraph):
        m = self.world(depsgraph)
        if self.parent is None:
            return m
        return self.parent.world(depsgraph).inverted_safe() @ m


class Builder:
    def __init__(self, context, output_dir, animation=True, report=None):
        self.context = context
        self.scene = context.scene
        self.view_layer = context.view_layer
        self.output_dir = output_dir
        self.animation = animation
        self.report = report or (lambda level, text: None)
        self.nodes = []             # every node, parents before children
        self.roots = []
        self.by_object = {}
        self.bone_nodes = {}        # (armature name, bone name) -> Node
        self.used_names = set()
        self.materials = []         # document materials, in order
        self.material_names = {}    # Blender material -> document name
        self.maps = {}              # (image, channel, extension) -> map name
        self.map_list = []          # document maps, in order
        self.clips = []             # (name, start, end) on the exported timeline

    # ---- names and hierarchy -------------------------------------------------------------

    def unique_name(self, name):
        base, n = name, 2
        while name in self.used_names:
            name = "%s_%d" % (base, n)
            n += 1
        self.used_names.add(name)
        return name

    def exported_objects(self):
        return [ob for ob in self.view_layer.objects]

    def build_tree(self):
        objects = self.exported_objects()
        for ob in objects:
            self.by_object[ob] = Node(self.unique_name(ob.name), ob)
        for ob in objects:
            if ob.type != "ARMATURE":
                continue
            for bone in ob.data.bones:
                node = Node(self.unique_name(bone.name), ob, bone.name)
                self.bone_nodes[(ob.name, bone.name)] = node
            for bone in ob.data.bones:
                node = self.bone_nodes[(ob.name, bone.name)]
                parent = self.bone_nodes[(ob.name, bone.parent.name)] if bone.parent else self.by_object[ob]
                self.attach(node, parent)
        for ob in objects:
            node = self.by_object[ob]
            parent = None
            if ob.parent is not None and ob.parent in self.by_object:
                parent = self.by_object[ob.parent]
                if ob.parent_type == "BONE" and (ob.parent.name, ob.parent_bone) in self.bone_nodes:
                    parent = self.bone_nodes[(ob.parent.name, ob.parent_bone)]
            self.attach(node, parent)
        order = []

        def visit(node):
            order.append(node)
            for child in node.children:
                visit(child)
        for root in self.roots:
            visit(root)
        self.nodes = order

    def attach(self, node, parent):
        node.parent = parent
        (parent.children if parent else self.roots).append(node)

    # ---- materials -----------------------------------------------------------------------

    def image_map(self, image, channel, extension):
        """The name of a bitmap map in the document's map list (one per image and use)."""
        key = (image.name, channel, extension)
        if key not in self.maps:
            taken = {m["name"] for m in self.map_list}
            name, n = image.name, 2
            while name in taken:
                name = "%s_%d" % (image.name, n)
                n += 1
            tiling = {"REPEAT": ["uWrap", "vWrap"], "MIRROR": ["uMirror", "vMirror"]}.get(extension, [])
            self.map_list.append({"type": "bitmap", "name": name, "file": self.image_path(image),
                                  "mapChannel": channel, "tiling": tiling})
            self.maps[key] = name
        return self.maps[key]

    def image_path(self, image):
        path = bpy.path.abspath(image.filepath, library=image.library) if image.filepath else ""
        if image.packed_file is None and image.source == "FILE" and path and os.path.isfile(path):
            return os.path.normpath(path)
        # Packed or generated images are written beside the X file, where textures end up.
        ext = {"JPEG": ".jpg", "TARGA": ".tga", "BMP": ".bmp", "OPEN_EXR": ".exr"}.get(image.file_format, ".png")
        name = re.sub(r"[^A-Za-z0-9_.-]", "_", os.path.splitext(bpy.path.basename(path) or image.name)[0]) + ext
        target = os.path.join(self.output_dir, name)
        try:
            if image.packed_file is not None:
                with open(target, "wb") as f:
                    f.write(image.packed_file.data)
            else:
                image.save_render(target, scene=self.scene)
        except (OSError, RuntimeError) as error:
            self.report("WARNING", "Image %s could not be written to %s: %s" % (image.name, target, error))
        return target

    def uv_channel(self, tex_node, mesh):
        """The map channel a texture node reads: its UV Map node's layer, else the render UV."""
        layers = mesh.uv_layers if mesh is not None else []
        vector = tex_node.inputs.get("Vector")
        name = None
        if vector is not None and vector.is_linked:
            source = vector.links[0].from_node
            if source.type == "UVMAP":
                name = source.uv_map
        for i, layer in enumerate(layers):
            if (name and layer.name == name) or (not name and layer.active_render):
                return i + 1
        return 1

    @staticmethod
    def upstream_image(socket, depth=0):
        """The first image texture node feeding a socket, through any nodes between."""
        if socket is None or not socket.is_linked or depth > 8:
            return None
        node = socket.links[0].from_node
        if node.type == "TEX_IMAGE" and node.image is not None:
            return node
        for inp in node.inputs:
            found = Builder.upstream_image(inp, depth + 1)
            if found is not None:
                return found
        return None

    @staticmethod
    def principled(material):
        if not material.use_nodes or material.node_tree is None:
            return None
        nodes = material.node_tree.nodes
        for node in nodes:
            if node.type == "OUTPUT_MATERIAL" and node.is_active_output and node.inputs["Surface"].is_linked:
                shader = node.inputs["Surface"].links[0].from_node
                if shader.type == "BSDF_PRINCIPLED":
                    return shader
        return next((node for node in nodes if node.type == "BSDF_PRINCIPLED"), None)

    def material(self, material, mesh):
        if material in self.material_names:
            return self.material_names[material]
        entry = {"type": "standard", "name": self.unique_material_name(material.name)}
        bsdf = self.principled(material)
        if bsdf is not None:
            base = list(bsdf.inputs["Base Color"].default_value)
            alpha = bsdf.inputs["Alpha"].default_value
            specular = bsdf.inputs["Specular"].default_value
            roughness = bsdf.inputs["Roughness"].default_value
            emission = list(bsdf.inputs["Emission"].default_value)[:3]
            strength = bsdf.inputs["Emission Strength"].default_value
            maps = {}
            tex = self.upstream_image(bsdf.inputs["Base Color"])
            if tex is not None:
                maps["diffuse"] = self.image_map(tex.image, self.uv_channel(tex, mesh), tex.extension)
            normal = bsdf.inputs["Normal"]
            if normal.is_linked and normal.links[0].from_node.type == "NORMAL_MAP":
                tex = self.upstream_image(normal.links[0].from_node.inputs["Color"])
                if tex is not None:
                    maps["bump"] = {"type": "normalBump",
                                    "normal": self.image_map(tex.image, self.uv_channel(tex, mesh), tex.extension)}
            if maps:
                entry["maps"] = maps
        else:
            base = list(material.diffuse_color)
            alpha = base[3]
            specular = material.specular_intensity
            roughness = material.roughness
            emission, strength = [0.0, 0.0, 0.0], 0.0
        colour = finite(base[:3])
        entry["ambient"] = colour
        entry["diffuse"] = colour
        entry["specular"] = [1.0, 1.0, 1.0]
        # The exporter writes specular colour × strength / 10 and power = shininess × 100.
        entry["shininessStrength"] = finite([specular * 10.0])[0]
        entry["shininess"] = min(max(1.0 - roughness, 0.0), 1.0)
        entry["transparency"] = min(max(1.0 - alpha, 0.0), 1.0)
        if strength > 0 and any(c > 0 for c in emission):
            entry["selfIllumination"] = finite([c * strength for c in emission])
        self.materials.append(entry)
        self.material_names[material] = entry["name"]
        return entry["name"]

    def unique_material_name(self, name):
        taken = {m["name"] for m in self.materials}
        base, n = name, 2
        while name in taken:
            name = "%s_%d" % (base, n)
            n += 1
        return name

    def node_material(self, ob, mesh):
        slots = [slot.material for slot in ob.material_slots]
        if not slots or all(m is None for m in slots):
            return None
        names = [self.material(m, mesh) if m is not None else None for m in slots]
        if len(names) == 1:
            return names[0]
        return {"type": "multi", "materials": names}

    # ---- meshes --------------------------------------------------------------------------

    def mesh_document(self, ob, mesh):
        mesh.calc_loop_triangles()
        tris = mesh.loop_triangles
        vertices = []
        for v in mesh.vertices:
            vertices.extend(v.co)
        faces, material_ids, tri_loops = [], [], []
        for tri in tris:
            faces.extend(tri.vertices)
            material_ids.append(tri.material_index)
            tri_loops.append(tri.loops)
        doc = {"vertices": finite(vertices), "faces": faces}
        if any(material_ids):
            doc["materialIds"] = material_ids

        if mesh.has_custom_normals or mesh.use_auto_smooth:
            # Split normals carry sharp edges, the auto smooth angle and custom normals alike.
            mesh.calc_normals_split()
            normals = Dedup()
            index = [normals.add(loop.normal) for loop in mesh.loops]
            doc["normals"] = {"normals": normals.values,
                              "faces": [index[l] for loops in tri_loops for l in loops]}
        else:
            groups = mesh.calc_smooth_groups(use_bitflags=True)[0] if len(mesh.polygons) else []
            smooth = [p.use_smooth for p in mesh.polygons]
            per_face = [groups[t.polygon_index] if smooth[t.polygon_index] else 0 for t in tris]
            if any(per_face):
                doc["smoothingGroups"] = per_face

        channels = []
        for k, layer in enumerate(mesh.uv_layers):
            if k >= 99:
                self.report("WARNING", "%s: only the first 99 UV maps are carried" % ob.name)
                break
            uvs = Dedup()
            index = [uvs.add((d.uv[0], d.uv[1], 0.0)) for d in layer.data]
            channels.append({"channel": k + 1, "vertices": uvs.values,
                             "faces": [index[l] for loops in tri_loops for l in loops]})
        colour_attr = self.colour_attribute(mesh)
        if colour_attr is not None:
            per_loop = colour_attr.domain == "CORNER"
            rgb, alpha = Dedup(), Dedup()
            rgb_index, alpha_index = [], []
            for d in colour_attr.data:
                c = d.color_srgb
                rgb_index.append(rgb.add((c[0], c[1], c[2])))
                alpha_index.append(alpha.add((c[3], 0.0, 0.0)))
            if per_loop:
                corner = [l for loops in tri_loops for l in loops]
            else:
                corner = [mesh.loops[l].vertex_index for loops in tri_loops for l in loops]
            channels.append({"channel": 0, "vertices": rgb.values, "faces": [rgb_index[i] for i in corner]})
            channels.append({"channel": -2, "vertices": alpha.values, "faces": [alpha_index[i] for i in corner]})
        if channels:
            doc["mapChannels"] = channels
        return doc

    @staticmethod
    def colour_attribute(mesh):
        attrs = getattr(mesh, "color_attributes", None)
        if attrs is None or len(attrs) == 0:
            return None
        index = attrs.render_color_index
        attr = attrs[index] if 0 <= index < len(attrs) else attrs.active_color
        if attr is None or attr.domain not in ("POINT", "CORNER"):
            return None
        return attr

    def skin_modifier(self, ob, mesh, depsgraph):
        """A skin deformer from the object's armature modifier and vertex groups, or None."""
        arm_mod = next((m for m in ob.modifiers if m.type == "ARMATURE" and m.object is not None
                        and m.object.type == "ARMATURE" and m.use_vertex_groups), None)
        if arm_mod is None or arm_mod.object not in self.by_object:
            return None
        arm = arm_mod.object
        arm_world = arm.evaluated_get(depsgraph).matrix_world
        bones, bone_index = [], {}
        for bone in arm.data.bones:
            if bone.use_deform:
                bone_index[bone.name] = len(bones)
                bones.append({"node": self.bone_nodes[(arm.name, bone.name)].name,
                              "initTransform": row_matrix(arm_world @ bone.matrix_local)})
        group_bone = {g.index: bone_index.get(g.name) for g in ob.vertex_groups}
        # Blender deforms by the weights divided by their sum; X file readers take them as
        # written, so they are written divided.
        points = []
        for v in mesh.vertices:
            found = [(group_bone.get(g.group), g.weight) for g in v.groups]
            found = [(b, w) for b, w in found if b is not None and w > 0]
            total = sum(w for _, w in found)
            points.append([x for b, w in found for x in (b, w / total)])
        return {"type": "skin",
                "initTransform": row_matrix(ob.evaluated_get(depsgraph).matrix_world),
                "bones": bones, "points": points}

    # ---- objects -------------------------------------------------------------------------

    def object_document(self, node, depsgraph):
        ob = node.obj
        if node.bone is not None:
            return {"type": "bone"}, None, []
        if ob.type == "CAMERA":
            return {"type": "camera"}, None, []
        if ob.type == "LIGHT":
            return {"type": "light"}, None, []
        if ob.type in ("MESH", "CURVE", "SURFACE", "FONT", "META"):
            evaluated = ob.evaluated_get(depsgraph)
            try:
                mesh = evaluated.to_mesh(preserve_all_data_layers=True, depsgraph=depsgraph)
            except RuntimeError:
                mesh = None
            if mesh is None:
                return {"type": "dummy"}, None, []
            try:
                obj = {"type": "mesh", "mesh": self.mesh_document(ob, mesh)}
                material = self.node_material(ob, mesh)
                skin = self.skin_modifier(ob, mesh, depsgraph) if ob.type == "MESH" else None
            finally:
                evaluated.to_mesh_clear()
            if ob.type == "MESH" and ob.data.shape_keys is not None:
                self.report("INFO", "%s: shape keys are exported as the current frame shows them" % ob.name)
            return obj, material, ([[skin]] if skin else [])
        return {"type": "dummy"}, None, []

    def node_document(self, node, depsgraph):
        obj, material, stack = self.object_document(node, depsgraph)
        ob = node.obj
        doc = {"name": node.name, "transform": finite(row_matrix(node.local(depsgraph))), "object": obj}
        if stack:
            doc["stack"] = stack
        if material is not None:
            doc["material"] = material
        # Hidden objects are left out of the export; bones stay, since skins need them even
        # when the armature is hidden.
        if node.bone is None and not ob.visible_get(view_layer=self.view_layer):
            doc["hidden"] = True
        if ob.select_get(view_layer=self.view_layer):
            doc["selected"] = True
        controller = self.controller(node)
        if controller is not None:
            doc["tmController"] = controller
        doc["children"] = [self.node_document(child, depsgraph) for child in node.children]
        if not doc["children"]:
            del doc["children"]
        return doc

    # ---- animation -----------------------------------------------------------------------

    def time_settings(self):
        fps = self.scene.render.fps / self.scene.render.fps_base
        rate = max(1, min(TICKS_PER_SECOND, int(round(fps))))
        if TICKS_PER_SECOND % rate:
            rate = min((d for d in range(1, TICKS_PER_SECOND + 1) if TICKS_PER_SECOND % d == 0),
                       key=lambda d: abs(d - fps))
        if abs(rate - fps) > 1e-6:
            self.report("WARNING", timing_change(fps, rate))
        return rate

    def fitting_actions(self, ob):
        """The actions that animate this object: its own, and for an armature every action that
        names only its bones."""
        data = ob.animation_data
        active = data.action if data else None
        found = [active] if active else []
        if ob.type == "ARMATURE":
            bones = {b.name for b in ob.data.bones}
            for action in bpy.data.actions:
                if action is active or action.users == 0:
                    continue
                names = set(re.findall(r'pose\.bones\["((?:[^"\\]|\\.)*)"\]', " ".join(fc.data_path for fc in action.fcurves)))
                if names and names <= bones:
                    found.append(action)
        return found

    def plan_clips(self):
        """Clips as (name, timeline start, source start, length, {object: action}, {object: tracks}).

        With NLA tracks, a clip is one track name: every object with a track of that name
        contributes it, and the clip covers their strips' frames (a track holding several
        strips gives a clip per strip, named by the strip). Clips keep their frames on the
        timeline unless an earlier clip reaches into them; then they follow it. Otherwise every
        action becomes a clip; one action keeps its own frames, several are laid out one after
        another from the scene's first frame, each clip playing its action on the objects it
        fits."""
        used = set()
        groups = {}   # clip key -> [first frame, last frame, {object: [tracks]}]
        for ob in self.by_object:
            data = ob.animation_data
            if data is None:
                continue
            for track in data.nla_tracks:
                strips = [s for s in track.strips if not s.mute]
                if track.mute or not strips:
                    continue
                for strip in strips:
                    key = track.name if len(strips) == 1 else strip.name
                    group = groups.setdefault(key, [strip.frame_start, strip.frame_end, {}])
                    group[0], group[1] = min(group[0], strip.frame_start), max(group[1], strip.frame_end)
                    group[2].setdefault(ob, []).append(track)
        if groups:
            plans = []
            end = None
            for key in sorted(groups, key=lambda k: (groups[k][0], k)):
                first, last, tracks = groups[key]
                first, last = int(math.floor(first)), int(math.ceil(last))
                timeline = first if end is None else max(first, end + 1)
                plans.append((clip_name(key, used), timeline, first, last - first, {}, tracks))
                end = timeline + last - first
            return plans
        per_action = {}
        for ob in self.by_object:
            for action in self.fitting_actions(ob):
                per_action.setdefault(action, []).append(ob)
        if not per_action:
            return []
        actions = sorted(per_action, key=lambda a: a.name)
        plans = []
        start = self.scene.frame_start
        for action in actions:
            first, last = action.frame_range
            first, last = int(math.floor(first)), int(math.ceil(last))
            timeline = first if len(actions) == 1 else start
            plans.append((clip_name(action.name, used), timeline, first, last - first,
                          {ob: action for ob in per_action[action]}, None))
            start = timeline + (last - first) + 1
        return plans

    def animated(self):
        """Whether anything can move: actions, NLA tracks, drivers or constraints."""
        for ob in self.by_object:
            data = ob.animation_data
            if data is not None and (data.action or len(data.nla_tracks) or len(data.drivers)):
                return True
            if len(ob.constraints) or (ob.pose is not None and any(len(b.constraints) for b in ob.pose.bones)):
                return True
        return False

    def sample_animation(self, depsgraph):
        scene = self.scene
        current = scene.frame_current
        plans = self.plan_clips()
        saved = {ob: ob.animation_data.action for ob in self.by_object if ob.animation_data}
        muted = {t: t.mute for ob in saved for t in ob.animation_data.nla_tracks}
        try:
            if plans:
                for name, timeline, source, length, assignment, tracks in plans:
                    for ob, action in assignment.items():
                        if ob.animation_data is None:
                            ob.animation_data_create()
                        ob.animation_data.action = action
                    if tracks is not None:
                        # Only this clip's tracks play; an object's active action would play
                        # over them, so it rests while its tracks play.
                        for track in muted:
                            track.mute = True
                        for ob, playing in tracks.items():
                            ob.animation_data.action = None
                            for track in playing:
                                track.mute = False
                    for i in range(length + 1):
                        scene.frame_set(source + i)
                        self.sample(timeline + i, depsgraph)
                    for ob in list(assignment) + list(tracks or ()):
                        ob.animation_data.action = saved.get(ob)
                    self.clips.append((name, timeline, timeline + length))
            else:
                for frame in range(scene.frame_start, scene.frame_end + 1):
                    scene.frame_set(frame)
                    self.sample(frame, depsgraph)
        finally:
            for track, mute in muted.items():
                track.mute = mute
            for ob, action in saved.items():
                ob.animation_data.action = action
            for ob in self.by_object:
                if ob not in saved and ob.animation_data is not None and ob.animation_data.action is not None:
                    ob.animation_data.action = None
            scene.frame_set(current)

    def sample(self, frame, depsgraph):
        for node in self.nodes:
            node.samples.append((frame, node.local(depsgraph)))

    def controller(self, node):
        samples = node.samples
        if len(samples) < 2:
            return None
        first = samples[0][1]
        if all(all(abs(a - b) <= SAMPLE_TOLERANCE for ra, rb in zip(m, first) for a, b in zip(ra, rb))
               for _, m in samples[1:]):
            return None
        times, position, rotation, scale = [], [], [], []
        previous = None
        for frame, m in samples:
            loc, quat, size = m.decompose()
            if previous is not None and previous.dot(quat) < 0:
                quat.negate()
            previous = quat
            times.append(frame * self.ticks_per_frame)
            position.extend(finite(loc))
            # The document's quaternions turn the other way round.
            rotation.extend(finite((-quat.x, -quat.y, -quat.z, quat.w)))
            scale.extend(finite(size))
        return {"type": "transform",
                "position": {"times": times, "values": position},
                "rotation": {"times": times, "values": rotation},
                "scale": {"times": times, "values": scale}}

    # ---- the document --------------------------------------------------------------------

    def build(self):
        scene = self.scene
        rate = self.time_settings()
        self.ticks_per_frame = TICKS_PER_SECOND // rate
        self.build_tree()
        depsgraph = self.context.evaluated_depsgraph_get()
        if self.animation and self.animated():
            self.sample_animation(depsgraph)
        # Meshes are read in their rest shape: the armature deformation travels as a skin.
        disabled = []
        for ob in self.by_object:
            for mod in getattr(ob, "modifiers", []):
                if mod.type == "ARMATURE" and mod.show_viewport and mod.object in self.by_object:
                    mod.show_viewport = False
                    disabled.append(mod)
        try:
            depsgraph = self.context.evaluated_depsgraph_get()
            depsgraph.update()
            nodes = [self.node_document(root, depsgraph) for root in self.roots]
        finally:
            for mod in disabled:
                mod.show_viewport = True
        start = min([scene.frame_start] + [c[1] for c in self.clips])
        end = max([scene.frame_end, start] + [c[2] for c in self.clips])
        doc = {"plover_scene": 1,
               "time": {"frameRate": rate, "ticksPerFrame": self.ticks_per_frame, "animationRange": [start, end]},
               "sceneFile": bpy.data.filepath,
               "rootName": scene.name,
               "maps": self.map_list,
               "materials": self.materials,
               "nodes": nodes}
        if self.clips:
            doc["clips"] = [{"name": n, "start": s, "end": e} for n, s, e in self.clips]
        return doc


def build_document(context, output_dir, animation=True, report=None):
    """The scene document of the context's scene, and the clips it carries."""
    builder = Builder(context, output_dir, animation=animation, report=report)
    return builder.build(), builder.clips
