#!/usr/bin/env bash
# Builds Plover for Linux and Windows and makes its three packages, into dist/ (or OUT_DIR):
#   plover_VERSION_amd64.deb          the command on PATH, its modules in /usr/lib/plover, the
#                                     documents and a man page; checked with lintian
#   plover-VERSION-windows-x64.zip    plover.exe, plover.dle and the documents
#   io_export_plover-VERSION.zip      the Blender add-on, with plover for Linux x86-64 and Windows x64
# VERSION is the CMake project's. Installs what is missing. Works from a clean clone.
# Usage: scripts/package.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
out="${1:-dist}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

packages=(dpkg-dev fakeroot lintian help2man zip python3)
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

version="$(sed -n 's/^project(plover VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt's project()" >&2; exit 1; }

scripts/setup.sh release plover > /dev/null
scripts/build-windows.sh build/windows > /dev/null
linux="$root/build/release"
windows="$root/build/windows"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
docs=(README.md docs/install.md docs/usage.md docs/scene-format.md docs/blender.md)

# ---- Debian package ----------------------------------------------------------------------------
stage="$work/deb"
cmake --install "$linux" --prefix "$stage/usr" > /dev/null
strip --strip-unneeded "$stage/usr/bin/plover" "$stage/usr/lib/plover/"*
chmod 0644 "$stage/usr/lib/plover/"*
doc="$stage/usr/share/doc/plover"
mkdir -p "$doc" "$stage/usr/share/man/man1" "$stage/DEBIAN"
for f in "${docs[@]}"; do install -m 0644 "$f" "$doc/$(basename "$f")"; done
install -m 0644 scripts/debian/copyright "$doc/copyright"
# A native package's change log, in the format dpkg reads.
date="$(date -R -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)")"
printf 'plover (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- Plover maintainers <maintainers@users.noreply.c-seed-c1b612df.example>  %s\n' \
  "$version" "$version" "$date" | gzip -9n > "$doc/changelog.gz"
# The man page is the command's own --help and --version.
help2man --no-info --name="export 3D scenes to DirectX .x files" --version-string="$version" \
  "$stage/usr/bin/plover" | gzip -9n > "$stage/usr/share/man/man1/plover.1.gz"
# Library dependencies as dpkg-shlibdeps finds them.
mkdir -p "$work/shlibs/debian"
printf 'Source: plover\n\nPackage: plover\nArchitecture: amd64\n' > "$work/shlibs/debian/control"
depends="$(cd "$work/shlibs" && dpkg-shlibdeps -O "$stage/usr/bin/plover" "$stage/usr/lib/plover/"* 2>/dev/null \
           | sed -n 's/^shlibs:Depends=//p')"
size="$(du -sk --exclude=DEBIAN "$stage" | cut -f1)"
sed -e "s/@VERSION@/$version/" -e "s/@DEPENDS@/$depends/" -e "s/@SIZE@/$size/" scripts/debian/control.in \
  > "$stage/DEBIAN/control"
find "$stage" -type d -exec chmod 0755 {} +
deb="$out/plover_${version}_amd64.deb"
fakeroot dpkg-deb --build -Zxz "$stage" "$deb" > /dev/null
# Errors fail the build; warnings are shown.
lintian --fail-on error "$deb"
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
cp "$stage/usr/bin/plover" "$stage/usr/lib/plover/plover.dle" "$stage/usr/lib/plover/plover_assimp.so" \
   "$addon/bin/linux-x64/"
chmod 0755 "$addon/bin/linux-x64/plover"
cp "$win/plover.exe" "$win/plover.dle" "$addon/bin/windows-x64/"
addon_zip="$out/io_export_plover-$version.zip"
rm -f "$addon_zip"
(cd "$work/addon" && zip -qr9 "$addon_zip" io_export_plover)
echo "wrote $addon_zip"
