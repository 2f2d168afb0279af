# Runs the plover command: reads the export options, runs an export with progress, keeps options.
#
# This module does not import bpy, so it can be used (and tested) outside Blender.

import os
import platform
import re
import shutil
import subprocess

PROGRESS = re.compile(rb"(\d{1,3})%")


class PloverError(Exception):
    pass


def bundled_plover(system=None, machine=None, folder=None):
    """The plover program the add-on's zip carries for this system (bin/linux-x64/plover,
    bin/windows-x64/plover.exe), or None when it carries none for it."""
    system = (system or platform.system()).lower()
    machine = (machine or platform.machine()).lower()
    folder = folder or os.path.join(os.path.dirname(os.path.abspath(__file__)), "bin")
    if machine not in ("x86_64", "amd64"):
        return None
    if system == "linux":
        path = os.path.join(folder, "linux-x64", "plover")
    elif system == "windows":
        path = os.path.join(folder, "windows-x64", "plover.exe")
    else:
        return None
    if not os.path.isfile(path):
        return None
    if system == "linux" and not os.access(path, os.X_OK):
        # Some zip tools drop the executable bit: give it back.
        try:
            os.chmod(path, os.stat(path).st_mode | 0o755)
        except OSError:
            return None
    return path


def find_plover(configured=""):
    """The plover executable: the configured path, else the one on PATH, else the one the
    add-on carries for this system."""
    if configured:
        path = os.path.abspath(os.path.expanduser(configured))
        if os.path.isdir(path):
            path = os.path.join(path, "plover.exe" if os.name == "nt" else "plover")
        if not os.path.isfile(path) or not os.access(path, os.X_OK):
            raise PloverError("The plover command set in the add-on's preferences was not found: %s" % path)
        return path
    path = shutil.which("plover") or bundled_plover()
    if path is None:
        raise PloverError("The plover command was not found on PATH, and the add-on carries none for this system; "
                          "set its path in the add-on's preferences")
    return path


def config_args(config_dir):
    return ["--config-dir", config_dir] if config_dir else []


def read_options(plover, config_dir=""):
    """The export options as an export would load them, from `plover config show`, and the
    keys (lower case) that the options file sets itself."""
    try:
        done = subprocess.run([plover, "config", "show"] + config_args(config_dir),
                              capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.SubprocessError) as error:
        raise PloverError("plover config show failed: %s" % error)
    if done.returncode != 0:
        raise PloverError((done.stderr or done.stdout).strip() or "plover config show failed")
    options = {}
    for line in done.stdout.splitlines():
        if line.startswith("#") or "=" not in line:
            continue
        key, value = line.split("=", 1)
        options.setdefault(key.strip(), value.strip())
    return options, keys_in_file(done.stdout.split("\n", 1)[0])


def keys_in_file(plover_output_header):
    """The option keys (lower case) that the options file named in `config show`'s first line
    ("# PATH ..." ) sets itself; empty when the file is missing."""
    match = re.match(r"#\s*(.*?\.ini)", plover_output_header)
    keys = set()
    if match is None:
        return keys
    try:
        with open(match.group(1), encoding="utf-8", errors="replace") as f:
            for line in f:
                if "=" in line:
                    keys.add(line.split("=", 1)[0].strip().lower())
    except OSError:
        pass
    return keys


def keep_options(plover, settings, config_dir=""):
    """Stores options in the user's file as the options dialog would; returns plover's lines."""
    done = subprocess.run([plover, "config", "set"] + ["%s=%s" % kv for kv in settings] + config_args(config_dir),
                          capture_output=True, text=True, timeout=60)
    lines = [l for l in (done.stdout + done.stderr).splitlines() if l.strip()]
    if done.returncode != 0:
        raise PloverError("\n".join(lines) or "plover config set failed")
    return lines


def export_command(plover, document, output, settings, selected_only=False, config_dir="", preview=""):
    command = [plover, "export", document, "-o", output]
    if preview:
        command += ["--preview", preview]
    for key, value in settings:
        command += ["--set", "%s=%s" % (key, value)]
    if selected_only:
        command.append("--selected-only")
    return command + config_args(config_dir)


def run_export(command, progress=None):
    """Runs an export; returns (exit code, message lines). Progress percentages go to
    progress(percent) when given: plover draws its bar only on a terminal, so the export runs
    on a pseudo-terminal where one is available."""
    master = None
    try:
        import pty
        master, slave = pty.openpty()
    except (ImportError, OSError):
        slave = subprocess.PIPE
    try:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave)
    except OSError as error:
        if master is not None:
            os.close(master)
            os.close(slave)
        raise PloverError("plover could not be started: %s" % error)
    if master is not None:
        os.close(slave)
        stream = master
    else:
        stream = process.stderr.fileno()
    text = b""
    while True:
        try:
            chunk = os.read(stream, 4096)
        except OSError:  # the pseudo-terminal reports the end of output this way
            chunk = b""
        if not chunk:
            break
        text += chunk
        if progress is not None:
            found = PROGRESS.findall(chunk)
            if found:
                progress(min(100, int(found[-1])))
    out = process.stdout.read()
    process.wait()
    if master is not None:
        os.close(master)
    return process.returncode, message_lines(text + b"\n" + out)


def message_lines(raw):
    """Plover's messages without the progress bar's redraws and terminal control codes."""
    text = raw.decode("utf-8", "replace").replace("\r\n", "\n")
    lines = []
    for line in text.split("\n"):
        line = re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", line.split("\r")[-1]).strip()
        if line and not PROGRESS.fullmatch(line.split()[-1].encode()) and line not in lines:
            lines.append(line)
    return lines
