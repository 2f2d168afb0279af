#!/usr/bin/env bash
# Builds the Blender add-on as a zip to install with Edit > Preferences > Add-ons > Install.
# Usage: scripts/build-blender-addon.sh [OUTPUT.zip]   (default: build/io_export_plover.zip)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/io_export_plover.zip}"
mkdir -p "$(dirname "$out")"
out="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")"
rm -f "$out"
stamped="$(mktemp)"
trap 'rm -f "$stamped"' EXIT
cp blender/io_export_plover/__init__.py "$stamped"
scripts/version.sh --stamp-addon "$stamped"
(cd blender && python3 - "$out" "$stamped" <<'PY'
import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for name in sorted(os.listdir("io_export_plover")):
        if name == "__init__.py":
            z.write(sys.argv[2], "io_export_plover/__init__.py")  # with the project's version
        elif name.endswith(".py"):
            z.write(os.path.join("io_export_plover", name))
PY
)
echo "wrote $out"
