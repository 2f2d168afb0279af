#!/usr/bin/env bash
# Builds the Win32 options dialog with the mingw-w64 cross-compilers (64-bit and 32-bit) and runs
# its test program under Wine on a virtual X server. Installs what it needs when missing.
# Usage: scripts/test-win32.sh [--update-screenshot]   (the latter copies the dialog's picture
# to docs/options-dialog.png)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

scripts/install-packages.sh cmake make g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine wine64 xvfb xauth imagemagick

jobs=2
for arch in x86_64 i686; do
  build="build/win32-$arch"
  cmake -S options/win32 -B "$build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/options/win32/toolchain-$arch-w64-mingw32.cmake" > /dev/null
  cmake --build "$build" -j "$jobs"
done

# Wine in a private prefix, without its optional .NET and HTML engines (whose installers would
# wait for a click), drawing window frames itself since no window manager runs.
export WINEPREFIX="$root/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
run_x() { timeout 300 xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  run_x wineboot --init > /dev/null 2>&1
fi
# Set on every run: the prefix may have been made by another script (scripts/test-windows.sh).
run_x wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f > /dev/null 2>&1 || true

shot="$root/build/win32-x86_64/options-dialog.bmp"
rm -f "$shot"
# The 64-bit program runs; Debian's Wine without the i386 architecture cannot run the 32-bit one,
# which is therefore only built.
run_x wine build/win32-x86_64/plover_dialog_test.exe "$(winepath -w "$shot" 2>/dev/null || echo "$shot")" \
  | tr -d '\r' | tee build/win32-x86_64/dialog-test.log
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "Win32 dialog test failed (exit $status)" >&2
  exit "$status"
fi
grep -q '^[0-9]* passed, 0 failed$' build/win32-x86_64/dialog-test.log

if [ -f "$shot" ]; then
  /usr/bin/convert "$shot" "build/win32-x86_64/options-dialog.png"
  if [ "${1:-}" = "--update-screenshot" ]; then
    cp "build/win32-x86_64/options-dialog.png" docs/options-dialog.png
    echo "Updated docs/options-dialog.png"
  fi
fi
