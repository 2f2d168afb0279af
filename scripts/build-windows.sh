#!/usr/bin/env bash
# Cross-compiles plover.exe and plover.dle for 64-bit Windows with Debian's mingw-w64, into
# build/windows (or the folder given). Installs what is missing.
# Usage: scripts/build-windows.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${1:-build/windows}"

scripts/install-packages.sh cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev libcli11-dev nlohmann-json3-dev libstb-dev

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPLOVER_WERROR=ON \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" > /dev/null
cmake --build "$build" -j 2 --target plover plover_module
