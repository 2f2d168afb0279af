#!/usr/bin/env bash
# Builds Plover for Linux and Windows and makes its three packages, into dist/ (or OUT_DIR):
#   plover_VERSION_amd64.deb          the command on PATH, its modules (plug-in, Assimp import,
#                                     preview) in /usr/lib/plover, the documents and a man page;
#                                     checked with lintian
#   plover-VERSION-windows-x64.zip    plover.exe, plover.dle and the documents
#   io_export_plover-VERSION.zip      the Blender add-on, with plover for Linux x86-64 and Windows x64
# VERSION is the project's one version number (scripts/version.sh); the add-on's bl_info is
# stamped with it. Installs what is missing. Works from a clean clone.
# Usage: scripts/package.sh [--linux-build DIR] [--windows-build DIR] [OUT_DIR]
#   --linux-build DIR    package DIR's plover and modules (a Release build) instead of building
#                        build/release
#   --windows-build DIR  package DIR's plover.exe and plover.dle instead of building build/windows
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
linux=""
windows=""
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --linux-build) linux="$(cd "$2" && pwd)"; shift 2 ;;
    --windows-build) windows="$(cd "$2" && pwd)"; shift 2 ;;
    -*) echo "package.sh: unknown option $1" >&2; exit 2 ;;
    *) [ -z "$out" ] || { echo "package.sh: one output folder only" >&2; exit 2; }; out="$1"; shift ;;
  esac
done
out="${out:-dist}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

scripts/install-packages.sh dpkg-dev fakeroot lintian help2man zip python3

version="$(scripts/version.sh)"

if [ -z "$linux" ]; then
  scripts/setup.sh release plover > /dev/null
  linux="$root/build/release"
fi
if [ -z "$windows" ]; then
  scripts/build-windows.sh build/windows > /dev/null
  windows="$root/build/windows"
fi
# Only an optimised build without sanitizers is shipped.
for build in "$linux" "$windows"; do
  grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" 2>/dev/null \
    && ! grep -qx 'PLOVER_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" \
    || { echo "package.sh: $build is not a Release build without sanitizers" >&2; exit 2; }
done
for f in "$linux/plover" "$linux/plover.dle" "$linux/plover_assimp.so" "$linux/plover_preview.so" \
         "$windows/plover.exe" "$windows/plover.dle"; do
  [ -f "$f" ] || { echo "package.sh: $f is missing: build it, or leave out the build option" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
docs=(README.md docs/install.md docs/usage.md docs/scene-format.md docs/blender.md)

# ---- Debian package ----------------------------------------------------------------------------
stage="$work/deb"
cmake --install "$linux" --prefix "$stage/usr" > /dev/null
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/bin/plover" "$stage/usr/lib/plover/"*
chmod 0644 "$stage/usr/lib/plover/"*
doc="$stage/usr/share/doc/plover"
mkdir -p "$doc" "$stage/usr/share/man/man1" "$stage/DEBIAN"
for f in "${docs[@]}"; do install -m 0644 "$f" "$doc/$(basename "$f")"; done
install -m 0644 scripts/debian/copyright "$doc/copyright"
# A native package's change log, in the format dpkg reads.
date="$(date -R -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)")"
printf 'plover (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- Plover maintainers <maintainers@users.noreply.c-seed-c1b612df.example>  %s\n' \
  "$version" "$version" "$date" | gzip -9n > "$doc/changelog.gz"
# The man page is the command's own --help and --version, with a section for each subcommand
# holding that subcommand's --help.
subcommands="$("$stage/usr/bin/plover" --help | sed -n '/^Subcommands:/,$s/^  \([a-z]\+\) .*/\1/p')"
[ -n "$subcommands" ] || { echo "package.sh: plover --help lists no subcommands" >&2; exit 1; }
for sub in $subcommands; do
  printf '[%s]\n.nf\n' "PLOVER ${sub^^}"
  "$stage/usr/bin/plover" "$sub" --help | sed -e "s|^Usage: .*plover |Usage: plover |" -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"
  printf '.fi\n\n'
done > "$work/man-sections"
help2man --no-info --name="export 3D scenes to DirectX .x files" --version-string="$version" \
  --include="$work/man-sections" "$stage/usr/bin/plover" | gzip -9n > "$stage/usr/share/man/man1/plover.1.gz"
# Library dependencies as dpkg-shlibdeps finds them.
mkdir -p "$work/shlibs/debian"
printf 'Source: plover\n\nPackage: plover\nArchitecture: amd64\n' > "$work/shlibs/debian/control"
depends="$(cd "$work/shlibs" && dpkg-shlibdeps -O "$stage/usr/bin/plover" "$stage/usr/lib/plover/"* 2>/dev/null \
           | sed -n 's/^shlibs:Depends=//p')"
size="$(du -sk --exclude=DEBIAN "$stage" | cut -f1)"
sed -e "s/@VERSION@/$version/" -e "s/@DEPENDS@/$depends/" -e "s/@SIZE@/$size/" scripts/debian/control.in \
  > "$stage/DEBIAN/control"
find "$stage" -type d -exec chmod 0755 {} +
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum > DEBIAN/md5sums)
chmod 0644 "$stage/DEBIAN/md5sums" "$stage/DEBIAN/control"
deb="$out/plover_${version}_amd64.deb"
fakeroot dpkg-deb --build -Zxz "$stage" "$deb" > /dev/null
# Errors fail the build; warnings are shown.
lint=0
lintian --fail-on error "$deb" > "$work/lintian" 2>&1 || lint=$?
grep -v 'running with root privileges' "$work/lintian" || true
[ "$lint" -eq 0 ] || { echo "package.sh: lintian found errors in $deb" >&2; exit 1; }
echo "wrote $deb"

# ---- Windows zip -------------------------------------------------------------------------------
win="$work/plover-$version-windows-x64"
mkdir -p "$win"
cp "$windows/plover.exe" "$windows/plover.dle" "$win/"
x86_64-w64-mingw32-strip --strip-unneeded "$win/plover.exe" "$win/plover.dle"
for f in "${docs[@]}"; do cp "$f" "$win/"; done
cp scripts/debian/copyright "$win/COPYRIGHT.txt"
# Both programs are linked statically against the C++, threads and zlib libraries: they need no
# DLL that Windows does not have. Anything else they import would have to be shipped here.
imports="$(x86_64-w64-mingw32-objdump -p "$win/plover.exe" "$win/plover.dle" | sed -n 's/^\s*DLL Name: //p' | sort -u)"
for dll in $imports; do
  case "${dll,,}" in
    kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|shell32.dll|advapi32.dll|msvcrt.dll|ws2_32.dll|ole32.dll) ;;
    *) echo "package.sh: plover for Windows needs $dll, which is not shipped" >&2; exit 1 ;;
  esac
done
zip_out="$out/plover-$version-windows-x64.zip"
rm -f "$zip_out"
(cd "$work" && zip -qr9 "$zip_out" "plover-$version-windows-x64")
echo "wrote $zip_out"

# ---- Blender add-on with its programs ------------------------------------------------------------
addon="$work/addon/io_export_plover"
mkdir -p "$addon/bin/linux-x64" "$addon/bin/windows-x64"
cp blender/io_export_plover/*.py "$addon/"
scripts/version.sh --stamp-addon "$addon/__init__.py"
cp "$stage/usr/bin/plover" "$stage/usr/lib/plover/"* "$addon/bin/linux-x64/"
chmod 0755 "$addon/bin/linux-x64/plover"
cp "$win/plover.exe" "$win/plover.dle" "$addon/bin/windows-x64/"
addon_zip="$out/io_export_plover-$version.zip"
rm -f "$addon_zip"
(cd "$work/addon" && zip -qr9 "$addon_zip" io_export_plover)
echo "wrote $addon_zip"
