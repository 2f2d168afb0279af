#!/usr/bin/env bash
# Installs what scripts/package.sh made and uses it: the .deb into a clean root with dpkg (an
# export from there, then removal), the Windows zip's contents, and the Blender add-on zip's
# own programs found the way the add-on finds them, with no plover on PATH.
# Usage: scripts/test-packages.sh [DIST_DIR]   (default dist)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dist="$(cd "${1:-dist}" && pwd)"
version="$(sed -n 's/^project(plover VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
deb="$dist/plover_${version}_amd64.deb"
winzip="$dist/plover-${version}-windows-x64.zip"
addon="$dist/io_export_plover-${version}.zip"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {  # check WHAT COMMAND...: one result
  local what="$1"
  shift
  if "$@" > "$work/log" 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; cat "$work/log"; fi
}

# ---- the Debian package in a root of its own -----------------------------------------------------
sys="$work/root"
mkdir -p "$sys/var/lib/dpkg/info" "$sys/var/lib/dpkg/updates"
touch "$sys/var/lib/dpkg/status"
# The root has none of the libraries the package depends on; the system's serve the run.
check "dpkg -i" dpkg --root="$sys" --force-depends --force-script-chrootless -i "$deb"
check "the command on PATH" env PATH="$sys/usr/bin:/usr/bin:/bin" sh -c 'command -v plover | grep -qx "$0/usr/bin/plover"' "$sys"
check "the module in the library folder" test -f "$sys/usr/lib/plover/plover.dle" -a -f "$sys/usr/lib/plover/plover_assimp.so"
check "an export from the installed command" env PATH="$sys/usr/bin:/usr/bin:/bin" \
  plover export examples/Fox/Fox.glb -o "$work/fox.x" -q --config-dir "$work/config"
check "the exported file reads back" "$sys/usr/bin/plover" inspect --summary "$work/fox.x"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n' > "$work/triangle.obj"
check "an Assimp format through the installed module" env PATH="$sys/usr/bin:/usr/bin:/bin" \
  plover export "$work/triangle.obj" -o "$work/triangle.x" -q --config-dir "$work/config"
check "the man page" sh -c 'zcat "$0/usr/share/man/man1/plover.1.gz" | grep -q "^\.TH PLOVER"' "$sys"
check "the documents" test -f "$sys/usr/share/doc/plover/install.md" -a -f "$sys/usr/share/doc/plover/copyright"
check "dpkg -r" dpkg --root="$sys" -r plover
check "nothing left after removal" sh -c '! find "$0/usr" -path "*plover*" | grep -q .' "$sys"

# ---- the Windows zip -------------------------------------------------------------------------------
check "the Windows zip's contents" sh -c 'unzip -Z1 "$0" | grep -qx "plover-$1-windows-x64/plover.exe" &&
  unzip -Z1 "$0" | grep -qx "plover-$1-windows-x64/plover.dle" &&
  unzip -Z1 "$0" | grep -qx "plover-$1-windows-x64/install.md"' "$winzip" "$version"

# ---- the Blender add-on zip's own programs -----------------------------------------------------------
mkdir -p "$work/addons"
(cd "$work/addons" && unzip -q "$addon")
cat > "$work/find.py" <<'PY'
import importlib.util, os, subprocess, sys
folder = sys.argv[1]
spec = importlib.util.spec_from_file_location("plover_command", os.path.join(folder, "plover_command.py"))
plover_command = importlib.util.module_from_spec(spec)
spec.loader.exec_module(plover_command)
os.environ["PATH"] = "/usr/bin:/bin"  # no plover on it
found = plover_command.find_plover()
assert found == os.path.join(folder, "bin", "linux-x64", "plover"), found
windows = plover_command.bundled_plover(system="Windows", machine="AMD64")
assert windows == os.path.join(folder, "bin", "windows-x64", "plover.exe"), windows
assert plover_command.bundled_plover(system="Darwin", machine="arm64") is None
subprocess.run([found, "export", sys.argv[2], "-o", sys.argv[3], "-q", "--config-dir", sys.argv[4]], check=True)
PY
check "the add-on finds and runs its own plover" python3 "$work/find.py" "$work/addons/io_export_plover" \
  "$root/examples/simple_scene.json" "$work/addon.x" "$work/config"
check "the add-on's Windows programs" test -f "$work/addons/io_export_plover/bin/windows-x64/plover.dle"

echo "packages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
