#!/usr/bin/env bash
# Installs what scripts/package.sh made and uses it, as a user would:
# - the .deb installed with dpkg -i in a chroot (else into an empty root), exports and a preview
#   with its plover, then purged;
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

scripts/install-packages.sh dpkg unzip python3 wine wine64 blender

work="$(mktemp -d)"
sys="$work/root"
mounts=()
unmount_all() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2> /dev/null || umount -l "${mounts[i]}" 2> /dev/null || true
  done
  mounts=()
  ! grep -q " $work/" /proc/self/mounts
}
cleanup() {
  # Nothing is deleted while anything is still mounted under the work folder.
  if unmount_all; then rm -rf "$work"
  else echo "test-packages.sh: $work is left behind: something is still mounted in it" >&2; fi
}
trap cleanup EXIT
passed=0
failed=0
check() {  # check WHAT COMMAND...: one result
  local what="$1"
  shift
  if "$@" > "$work/log" 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what"; cat "$work/log"; fi
}

# ---- the Debian package ------------------------------------------------------------------------------
# Installed with dpkg -i in a chroot whose /usr, /etc and /var are copy-on-write views of this
# system's (overlay mounts writing to the work folder): dpkg checks the dependencies against what
# is installed, the command runs from /usr/bin with nothing of the build tree in sight, and the
# system itself does not change. Where overlays cannot be mounted (not root, no overlayfs),
# dpkg --root installs it into an empty root instead, the system's libraries serving the run.
make_chroot() {
  local d
  [ "$(id -u)" -eq 0 ] && command -v chroot > /dev/null || return 1
  mkdir -p "$sys/tmp" "$sys/proc" "$sys/dev"
  chmod 1777 "$sys/tmp"
  for d in usr etc var bin sbin lib lib32 lib64 libx32; do
    if [ -L "/$d" ]; then
      ln -s "$(readlink "/$d")" "$sys/$d"
    elif [ -d "/$d" ]; then
      mkdir -p "$work/layers/$d/upper" "$work/layers/$d/work" "$sys/$d"
      mount -t overlay overlay -o "lowerdir=/$d,upperdir=$work/layers/$d/upper,workdir=$work/layers/$d/work" \
        "$sys/$d" 2> /dev/null || return 1
      mounts+=("$sys/$d")
    fi
  done
  mount -t proc proc "$sys/proc" 2> /dev/null || return 1  # the command finds its modules through /proc/self/exe
  mounts+=("$sys/proc")
  mknod -m 666 "$sys/dev/null" c 1 3 2> /dev/null || return 1
  # man-db's trigger would rebuild the whole manual's index on both dpkg runs: not needed here.
  rm -f "$sys/var/lib/man-db/auto-update"
}
if make_chroot; then
  in_root() { chroot "$sys" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp LANG=C.UTF-8 "$@"; }
  scratch=/tmp  # the scratch folder as the installed command sees it
  dpkg_install() { in_root dpkg -i /tmp/package.deb; }
  dpkg_remove() { in_root dpkg --purge plover; }
  echo "packages: the .deb in a chroot"
else
  unmount_all || { echo "test-packages.sh: cannot unmount the chroot's folders" >&2; exit 1; }
  rm -rf "$sys"
  mkdir -p "$sys/tmp" "$sys/var/lib/dpkg/info" "$sys/var/lib/dpkg/updates"
  touch "$sys/var/lib/dpkg/status"
  in_root() { env PATH="$sys/usr/bin:/usr/bin:/bin" "$@"; }
  scratch="$sys/tmp"
  dpkg_install() { dpkg --root="$sys" --force-depends --force-script-chrootless -i "$sys/tmp/package.deb"; }
  dpkg_remove() { dpkg --root="$sys" --force-script-chrootless --purge plover; }
  echo "packages: the .deb in an empty root (no chroot could be made here)"
fi
cp "$deb" "$sys/tmp/package.deb"
cp examples/Fox/Fox.glb "$sys/tmp/model.glb"  # named as the Windows run's below: names derive from it
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n' > "$sys/tmp/triangle.obj"

# What `apt install ./plover_*.deb` would do here, simulated: install plover and nothing else
# (its dependencies are the libraries the build already needed), remove nothing.
check "apt install of the .deb, simulated" sh -c 'apt-get install -s -q "$0" > "$1/apt" 2>&1; cat "$1/apt";
  grep -q "^Inst plover " "$1/apt" && grep -q " 0 to remove" "$1/apt"' "$deb" "$work"
check "dpkg -i" dpkg_install
check "the command on PATH" in_root sh -c 'command -v plover | grep -qx "$0/usr/bin/plover"' "${scratch%/tmp}"
check "the modules in the library folder" test -f "$sys/usr/lib/plover/plover.dle" \
  -a -f "$sys/usr/lib/plover/plover_assimp.so" -a -f "$sys/usr/lib/plover/plover_preview.so"
check "an export from the installed command" in_root \
  plover export "$scratch/model.glb" -o "$scratch/fox.x" -q --config-dir "$scratch/config" --set XFileType=0
check "the exported file reads back" in_root plover inspect --summary "$scratch/fox.x"
check "an Assimp format through the installed module" in_root \
  plover export "$scratch/triangle.obj" -o "$scratch/triangle.x" -q --config-dir "$scratch/config"
check "a picture through the installed preview module" in_root \
  plover preview "$scratch/fox.x" -o "$scratch/fox.png" --size 64x64
check "the man page" sh -c 'zcat "$0/usr/share/man/man1/plover.1.gz" | grep -q "^\.TH PLOVER"' "$sys"
check "the documents" test -f "$sys/usr/share/doc/plover/install.md" -a -f "$sys/usr/share/doc/plover/copyright"
cp "$sys/tmp/fox.x" "$work/fox.x" 2> /dev/null || true
check "dpkg --purge" dpkg_remove
check "nothing left after removal" sh -c 'dpkg-deb --fsys-tarfile "$1" | tar -t | sed "s|^\./||" | grep . | grep -v "^usr/\(bin\|lib\|share\|share/doc\|share/man\|share/man/man1\)\?/\?$" |
  while read -r f; do ! test -e "$0/$f" || { echo "left: $f"; exit 1; }; done && ! test -e "$0/var/lib/dpkg/info/plover.list"' "$sys" "$deb"

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
