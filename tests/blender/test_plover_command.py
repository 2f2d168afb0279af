# Which plover the add-on runs, outside Blender: python3 -m unittest tests/blender/test_plover_command.py
# The one set in the preferences, else the one on PATH, else the one the add-on's zip carries for
# this system (bin/linux-x64, bin/windows-x64), else a message saying what to do.
import os
import shutil
import stat
import sys
import tempfile
import unittest
from unittest import mock

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "blender", "io_export_plover"))
import plover_command  # noqa: E402


def program(path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n")
    os.chmod(path, 0o755)
    return path


class FindPloverTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.bin = os.path.join(self.folder, "addon", "bin")
        self.bundled = program(os.path.join(self.bin, "linux-x64", "plover"))
        self.on_path = program(os.path.join(self.folder, "path", "plover"))
        self.configured = program(os.path.join(self.folder, "configured", "plover"))
        # The add-on's own folder and this machine, as the bundled lookup sees them.
        original = plover_command.bundled_plover
        self.patch = mock.patch.object(plover_command, "bundled_plover",
                                       lambda: original(system="Linux", machine="x86_64", folder=self.bin))
        self.patch.start()

    def tearDown(self):
        self.patch.stop()

    def test_order_preferences_then_path_then_bundled(self):
        path = os.path.dirname(self.on_path)
        with mock.patch.dict(os.environ, {"PATH": path}):
            self.assertEqual(plover_command.find_plover(self.configured), self.configured)
            self.assertEqual(plover_command.find_plover(os.path.dirname(self.configured)), self.configured)
            self.assertEqual(plover_command.find_plover(), self.on_path)
        with mock.patch.dict(os.environ, {"PATH": os.path.join(self.folder, "empty")}):
            self.assertEqual(plover_command.find_plover(), self.bundled)
            os.remove(self.bundled)
            with self.assertRaisesRegex(plover_command.PloverError, "preferences"):
                plover_command.find_plover()
            # A configured plover that is missing is an error, not a quiet fall-back.
            with self.assertRaisesRegex(plover_command.PloverError, "not found"):
                plover_command.find_plover(os.path.join(self.folder, "nowhere", "plover"))

    def test_bundled_program_per_system(self):
        program(os.path.join(self.bin, "windows-x64", "plover.exe"))
        self.patch.stop()
        try:
            bundled = plover_command.bundled_plover
            self.assertEqual(bundled(system="Windows", machine="AMD64", folder=self.bin),
                             os.path.join(self.bin, "windows-x64", "plover.exe"))
            self.assertIsNone(bundled(system="Darwin", machine="arm64", folder=self.bin))
            self.assertIsNone(bundled(system="Linux", machine="aarch64", folder=self.bin))
            # A zip tool that dropped the executable bit: it is given back.
            os.chmod(self.bundled, 0o644)
            self.assertEqual(bundled(system="Linux", machine="x86_64", folder=self.bin), self.bundled)
            self.assertTrue(os.stat(self.bundled).st_mode & stat.S_IXUSR)
        finally:
            self.patch.start()


if __name__ == "__main__":
    unittest.main()
