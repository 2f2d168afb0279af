#!/usr/bin/env bash
# Plover's one version number is the project() version in CMakeLists.txt: the command's
# --version, the packages' names and the Blender add-on's bl_info all take it from there.
# Usage: scripts/version.sh                      prints it
#        scripts/version.sh --stamp-addon FILE   writes it into the add-on's bl_info "version"
#                                                in FILE (a copy of blender/io_export_plover/__init__.py)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
version="$(sed -n 's/^project(plover VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
[ -n "$version" ] || { echo "version.sh: no version in CMakeLists.txt's project()" >&2; exit 1; }
case "${1:-}" in
  "") echo "$version" ;;
  --stamp-addon)
    python3 - "$2" "$version" <<'PY'
import re, sys
path, version = sys.argv[1], sys.argv[2]
parts = [int(p) for p in version.split(".")][:3]
parts += [0] * (3 - len(parts))
text = open(path, encoding="utf-8").read()
text, count = re.subn(r'("version":\s*)\([0-9, ]*\)', r"\g<1>(%d, %d, %d)" % tuple(parts), text, count=1)
if count != 1:
    sys.exit("version.sh: no bl_info version in %s" % path)
open(path, "w", encoding="utf-8").write(text)
PY
    ;;
  *) echo "usage: scripts/version.sh [--stamp-addon FILE]" >&2; exit 2 ;;
esac
