# The import's helpers outside Blender: python3 -m unittest tests/blender/test_x_import.py
import json
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "blender", "io_export_plover"))
import plover_command  # noqa: E402
import x_import  # noqa: E402


def glb(document, binary=b""):
    text = json.dumps(document).encode()
    text += b" " * (-len(text) % 4)
    binary += b"\0" * (-len(binary) % 4)
    body = struct.pack("<II", len(text), 0x4E4F534A) + text + struct.pack("<II", len(binary), 0x004E4942) + binary
    return b"glTF" + struct.pack("<II", 2, 12 + len(body)) + body


def animated(times):
    binary = struct.pack("<%df" % len(times), *times)
    return {"accessors": [{"bufferView": 0, "componentType": 5126, "count": len(times), "type": "SCALAR"}],
            "bufferViews": [{"buffer": 0, "byteLength": len(binary)}],
            "animations": [{"name": "Walk", "samplers": [{"input": 0, "output": 0}], "channels": []}]}, binary


class XImportTest(unittest.TestCase):
    def test_frame_rate_of_keys(self):
        document, binary = animated([0.0, 1 / 25, 2 / 25, 0.4])
        self.assertEqual(x_import.sampled_frame_rate(document, binary, 25), 25)
        self.assertEqual(x_import.sampled_frame_rate(document, binary, 50), 50)   # the scene's rate holds them all
        self.assertEqual(x_import.sampled_frame_rate(document, binary, 24), 25)
        sparse, data = animated([0.0, 1.0, 2.0])
        self.assertEqual(x_import.sampled_frame_rate(sparse, data, 30), 30)      # keys on whole seconds: kept
        odd, data = animated([0.0, 0.3337, 1.0])
        self.assertIsNone(x_import.sampled_frame_rate(odd, data, 30))
        self.assertIsNone(x_import.sampled_frame_rate({}, b"", 30))
        truncated = dict(document)
        self.assertIsNone(x_import.sampled_frame_rate(truncated, binary[:4], 30))  # accessor past the data

    def test_reads_glb_and_refuses_others(self):
        document, binary = animated([0.0, 0.5])
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "a.glb")
            with open(path, "wb") as f:
                f.write(glb(document, binary))
            read, data = x_import.read_glb(path)
            self.assertEqual(x_import.animation_names(read), ["Walk"])
            self.assertEqual(data[:8], binary)
            for junk in (b"", b"glTF\2\0\0\0", b"xof 0303txt 0032\n", glb(document)[:30]):
                with open(path, "wb") as f:
                    f.write(junk)
                with self.assertRaises(plover_command.PloverError):
                    x_import.read_glb(path)

    def test_convert_command(self):
        self.assertEqual(x_import.convert_command("p", "a.x", "b.glb", right_handed=True, z_up=True),
                         ["p", "convert", "a.x", "-o", "b.glb", "-q", "--from-right-handed", "--from-z-up"])


if __name__ == "__main__":
    unittest.main()
