# DirectX (.x) import through Plover: `plover convert` turns the X file into a temporary .glb,
# Blender's glTF importer reads it, and this module puts back what that way loses: each
# animation set's name on its action and the frame rate its keys were sampled at.
#
# This module does not import bpy, so it can be used (and tested) outside Blender.

import json
import struct

try:
    from . import plover_command
except ImportError:  # loaded on its own, outside Blender (the add-on's unit tests)
    import plover_command

MAX_FPS = 240


def convert_command(plover, source, output, right_handed=False, z_up=False):
    command = [plover, "convert", source, "-o", output, "-q"]
    if right_handed:
        command.append("--from-right-handed")
    if z_up:
        command.append("--from-z-up")
    return command


def read_glb(path):
    """The JSON part and the binary chunk of a .glb file plover wrote."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 20 or data[:4] != b"glTF":
        raise plover_command.PloverError("%s: not a binary glTF file" % path)
    length, kind = struct.unpack_from("<II", data, 12)
    if kind != 0x4E4F534A or 20 + length > len(data):
        raise plover_command.PloverError("%s: the glTF file has no JSON chunk" % path)
    document = json.loads(data[20:20 + length].decode("utf-8"))
    binary = b""
    start = 20 + length
    if start + 8 <= len(data):
        size, kind = struct.unpack_from("<II", data, start)
        if kind == 0x004E4942:
            binary = data[start + 8:start + 8 + size]
    return document, binary


def key_times(document, binary, accessor_index):
    accessor = document["accessors"][accessor_index]
    view = document["bufferViews"][accessor["bufferView"]]
    start = view.get("byteOffset", 0) + accessor.get("byteOffset", 0)
    count = accessor["count"]
    if accessor.get("componentType") != 5126 or start + 4 * count > len(binary):
        return ()
    return struct.unpack_from("<%df" % count, binary, start)


def sampled_frame_rate(document, binary, preferred):
    """The frame rate the animation keys were made at, as the X file keeps none: `preferred`
    (the scene's) when every key falls on one of its frames, else the smallest whole rate up
    to MAX_FPS that has every key on a frame; None without keys or when no rate fits."""
    times = set()
    for animation in document.get("animations", []):
        for sampler in animation.get("samplers", []):
            times.update(key_times(document, binary, sampler["input"]))
    if len(times) < 2:
        return None
    def fits(fps):
        return all(abs(t * fps - round(t * fps)) < 1e-3 for t in times)
    if preferred and fits(preferred):
        return preferred
    for fps in range(1, MAX_FPS + 1):
        if all(abs(t * fps - round(t * fps)) < 1e-3 for t in times):
            return fps
    return None


def animation_names(document):
    return [a.get("name", "") for a in document.get("animations", [])]
