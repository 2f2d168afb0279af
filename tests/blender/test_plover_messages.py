# The add-on's command layer (plover_command.py) without Blender: option keys read from the
# options file, messages and progress taken from plover's terminal output, and, with the built
# command (PLOVER in the environment), options kept and read back and an export run on a
# pseudo-terminal with its progress reported.
#
#   PLOVER=build/release/plover python3 -m unittest tests/blender/test_plover_messages.py

import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "blender", "io_export_plover"))

import plover_command  # noqa: E402  (found through the path above)

PLOVER = os.environ.get("PLOVER", "")


class MessagesAndKeys(unittest.TestCase):
    def test_messages_leave_out_bar_redraws_control_codes_and_repeats(self):
        raw = (b"\r\x1b[KExporting [####      ] 40%\r\x1b[KExporting [########  ] 80%\r\x1b[K"
               b"plover: warning: wood.png: texture not found\r\n"
               b"plover: warning: wood.png: texture not found\n"
               b"Exporting [##########] 100%\r\x1b[K\n\n"
               b"wrote out.x (2 frames) \xff\n")
        self.assertEqual(plover_command.message_lines(raw),
                         ["plover: warning: wood.png: texture not found", "wrote out.x (2 frames) \ufffd"])

    def test_keys_in_file_are_those_the_named_file_sets(self):
        with tempfile.TemporaryDirectory() as folder:
            ini = os.path.join(folder, "plover.ini")
            with open(ini, "w", encoding="utf-8") as f:
                f.write("[Option]\nXFileType = 2\nSceneRoot=1\nnot a setting\n")
            self.assertEqual(plover_command.keys_in_file("# %s" % ini), {"xfiletype", "sceneroot"})
            self.assertEqual(plover_command.keys_in_file("# %s (not present: defaults)" % os.path.join(folder, "no.ini")),
                             set())
        self.assertEqual(plover_command.keys_in_file("SceneRoot=0"), set())

    def test_export_command_passes_each_option_as_one_setting(self):
        command = plover_command.export_command("plover", "in.json", "out dir/a.x",
                                                [("XFileType", 1), ("SceneRootName", "a b=c")],
                                                selected_only=True, config_dir="cfg")
        self.assertEqual(command, ["plover", "export", "in.json", "-o", "out dir/a.x", "--set", "XFileType=1",
                                   "--set", "SceneRootName=a b=c", "--selected-only", "--config-dir", "cfg"])

    def test_a_configured_command_that_is_missing_is_named(self):
        with tempfile.TemporaryDirectory() as folder:
            with self.assertRaises(plover_command.PloverError) as raised:
                plover_command.find_plover(folder)
            self.assertIn(os.path.join(folder, "plover"), str(raised.exception))


@unittest.skipUnless(PLOVER, "PLOVER (the built plover command) is not set")
class WithTheCommand(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.config = os.path.join(self.folder.name, "config")
        self.plover = plover_command.find_plover(os.path.abspath(PLOVER))

    def tearDown(self):
        self.folder.cleanup()

    def test_kept_options_read_back_and_a_wrong_key_is_refused(self):
        options, keys = plover_command.read_options(self.plover, self.config)
        self.assertIn("XFileType", options)
        self.assertEqual(keys, set())
        plover_command.keep_options(self.plover, [("XFileType", 2)], self.config)
        options, keys = plover_command.read_options(self.plover, self.config)
        self.assertEqual(options["XFileType"], "2")
        self.assertIn("xfiletype", keys)
        with self.assertRaises(plover_command.PloverError) as raised:
            plover_command.keep_options(self.plover, [("NoSuchOption", 1)], self.config)
        self.assertIn("NoSuchOption", str(raised.exception))

    def test_export_reports_progress_and_a_failure_names_its_cause(self):
        output = os.path.join(self.folder.name, "scene.x")
        document = os.path.join(ROOT, "examples", "simple_scene.json")
        seen = []
        code, lines = plover_command.run_export(
            plover_command.export_command(self.plover, document, output, [("XFileType", 0)], config_dir=self.config),
            seen.append)
        self.assertEqual(code, 0, lines)
        self.assertTrue(os.path.isfile(output))
        self.assertTrue(seen and seen == sorted(seen) and seen[-1] <= 100, seen)
        self.assertFalse([line for line in lines if "%" in line.split()[-1]], lines)

        missing = os.path.join(self.folder.name, "no such folder", "scene.x")
        code, lines = plover_command.run_export(
            plover_command.export_command(self.plover, document, missing, [], config_dir=self.config))
        self.assertNotEqual(code, 0)
        self.assertTrue(any("no such folder" in line for line in lines), lines)


if __name__ == "__main__":
    unittest.main()
