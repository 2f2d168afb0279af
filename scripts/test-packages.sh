#!/usr/bin/env bash
# Installs what scripts/package.sh made and uses it, as a user would:
# - the .deb installed with dpkg into an empty root, an export with its plover, then removed;
# - the Windows zip unzipped into an empty folder and `plover.exe export model.glb -o model.x`
#   run there under Wine, giving the text X file the Linux package gives;
# - the Blender add-on zip installed into headless Blender with addon_install, enabled, an
#   export and an import with no plover on PATH (it runs the plover it carries), then removed.
# Installs what is missing (Wine, Blender). One Blender run and two short Wine runs.
# Usage: scripts/test-packages.sh [DIST_DIR]   (default dist)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dist="$(cd "${1:-dist}" && pwd)"
version="$(scripts/version.sh)"
deb="$dist/plover_${version}_amd64.deb"
winzip="$dist/plover-${version}-windows-x64.zip"
addon="$dist/io_export_plover-${version}.zip"
for f in "$deb" "$winzip" "$addon"; do
  [ -f "$f" ] || { echo "test-packages.sh: $f is missing (scripts/package.sh makes it)" >&2; exit 2; }
done

packages=(dpkg unzip python3 wine wine64 blender)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

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
cp examples/Fox/Fox.glb "$work/model.glb"  # named as the Windows run's below: names derive from it
mkdir -p "$sys/var/lib/dpkg/info" "$sys/var/lib/dpkg/updates"
touch "$sys/var/lib/dpkg/status"
# What `apt install ./plover_*.deb` would do here, simulated: install plover and nothing else
# (its dependencies are the libraries the build already needed), remove nothing.
check "apt install of the .deb, simulated" sh -c 'apt-get install -s -q "$0" > "$1/apt" 2>&1; cat "$1/apt";
  grep -q "^Inst plover " "$1/apt" && grep -q " 0 to remove" "$1/apt"' "$deb" "$work"
# The root has none of the libraries the package depends on; the system's serve the run.
check "dpkg -i" dpkg --root="$sys" --force-depends --force-script-chrootless -i "$deb"
check "the command on PATH" env PATH="$sys/usr/bin:/usr/bin:/bin" sh -c 'command -v plover | grep -qx "$0/usr/bin/plover"' "$sys"
check "the modules in the library folder" test -f "$sys/usr/lib/plover/plover.dle" \
  -a -f "$sys/usr/lib/plover/plover_assimp.so" -a -f "$sys/usr/lib/plover/plover_preview.so"
check "an export from the installed command" env PATH="$sys/usr/bin:/usr/bin:/bin" \
  plover export "$work/model.glb" -o "$work/fox.x" -q --config-dir "$work/config" --set XFileType=0
check "the exported file reads back" "$sys/usr/bin/plover" inspect --summary "$work/fox.x"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n' > "$work/triangle.obj"
check "an Assimp format through the installed module" env PATH="$sys/usr/bin:/usr/bin:/bin" \
  plover export "$work/triangle.obj" -o "$work/triangle.x" -q --config-dir "$work/config"
check "a picture through the installed preview module" sh -c \
  '"$0/usr/bin/plover" preview "$1/fox.x" -o "$1/fox.png" --size 64x64 && test -s "$1/fox.png"' "$sys" "$work"
check "the man page" sh -c 'zcat "$0/usr/share/man/man1/plover.1.gz" | grep -q "^\.TH PLOVER"' "$sys"
check "the documents" test -f "$sys/usr/share/doc/plover/install.md" -a -f "$sys/usr/share/doc/plover/copyright"
check "dpkg -r" dpkg --root="$sys" -r plover
check "nothing left after removal" sh -c '! find "$0/usr" -path "*plover*" | grep -q .' "$sys"

# ---- the Windows zip, unzipped into an empty folder, run there under Wine ---------------------------
export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  (unset DISPLAY; timeout 300 wineboot --init > /dev/null 2>&1; wineserver -w)
fi
mkdir -p "$work/windows"
(cd "$work/windows" && unzip -q "$winzip")
winplover="$work/windows/plover-$version-windows-x64"
check "the Windows zip's documents" test -f "$winplover/install.md" -a -f "$winplover/COPYRIGHT.txt"
cp examples/Fox/Fox.glb "$winplover/model.glb"
# As a user would type it, in the folder: the options stored in the Wine user's profile apply.
check "plover.exe export model.glb -o model.x" sh -c 'cd "$0" && unset DISPLAY &&
  wine plover.exe export model.glb -o model.x -q && test -s model.x' "$winplover"
# With the default options, the same bytes as the Linux package's export above.
check "plover.exe's text X file is the Linux package's" sh -c 'cd "$0" && unset DISPLAY &&
  wine plover.exe export model.glb -o fox.x -q --config-dir options --set XFileType=0 && cmp fox.x "$1"' \
  "$winplover" "$work/fox.x"
wineserver -k 2> /dev/null || true

# ---- the Blender add-on zip ------------------------------------------------------------------------
check "the add-on carries the project's version" sh -c \
  'unzip -p "$0" io_export_plover/__init__.py | grep -q "\"version\": ($1, $2, $3)"' \
  "$addon" $(echo "$version.0.0" | cut -d. -f1-3 | tr . ' ')
mkdir -p "$work/addons"
(cd "$work/addons" && unzip -q "$addon")
# The Windows program as the add-on finds it on Windows; the Linux one is run by Blender below.
cat > "$work/find.py" <<'PY'
import importlib.util, os, sys
folder = sys.argv[1]
spec = importlib.util.spec_from_file_location("plover_command", os.path.join(folder, "plover_command.py"))
plover_command = importlib.util.module_from_spec(spec)
spec.loader.exec_module(plover_command)
windows = plover_command.bundled_plover(system="Windows", machine="AMD64")
assert windows == os.path.join(folder, "bin", "windows-x64", "plover.exe"), windows
assert os.path.isfile(os.path.join(folder, "bin", "windows-x64", "plover.dle"))
assert plover_command.bundled_plover(system="Darwin", machine="arm64") is None
PY
check "the add-on's Windows programs" python3 "$work/find.py" "$work/addons/io_export_plover"
# Installed, enabled, an export and an import with no plover on PATH, removed: one Blender run.
check "the add-on installed into Blender, used and removed" env BLENDER_USER_SCRIPTS="$work/blender/user_scripts" \
  PATH="/usr/bin:/bin" blender -b --factory-startup --python-exit-code 1 --python tests/blender/install.py \
  -- "$addon" "$work/blender"

echo "packages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
