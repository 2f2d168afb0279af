#!/usr/bin/env bash
# Installs the Debian packages the build needs (when missing) and builds one configuration.
# Usage: scripts/setup.sh [release|asan] [target]   (defaults: release, every target)
# With a target (scripts/run-example.sh builds `plover`), only the packages that build the command
# and its modules are installed, and the tests are built only when their packages are there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make pkg-config zlib1g-dev nlohmann-json3-dev libassimp-dev libcli11-dev libstb-dev
          libdeflate-dev
          libosmesa6-dev)  # plover preview: Mesa's software OpenGL, drawing offscreen
test_packages=(libgtest-dev libgmock-dev valgrind  # valgrind: one export checked in the suite
               blender assimp-utils  # blender, assimp: the Blender add-on's tests (tests/blender)
               nodejs npm)  # the glTF-Validator (scripts/gltf-validator.sh) that checks plover convert's output
tests=ON
if [ -z "${2:-}" ]; then
  packages+=("${test_packages[@]}")
else
  for p in libgtest-dev libgmock-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || tests=OFF
  done
fi
scripts/install-packages.sh --with-recommends "${packages[@]}"

config="${1:-release}"
jobs="$(nproc 2>/dev/null || echo 2)"
case "$config" in
  release) cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DPLOVER_WERROR=ON -DPLOVER_BUILD_TESTS=$tests \
                 -DPLOVER_BUILD_BENCH=${PLOVER_BUILD_BENCH:-ON} ;;
  # The sanitizers' instrumentation costs five times the compile time of a plain build at -O2;
  # at -Og with line tables only it costs less than twice, finds the same faults and still names
  # the line of each.
  asan)    cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOVER_SANITIZE=ON -DPLOVER_WERROR=ON \
                 "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-Og -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-Og -g1 -DNDEBUG" \
                 -DPLOVER_BUILD_BENCH=OFF -DPLOVER_BUILD_TESTS=$tests ;;
  *) echo "unknown configuration: $config" >&2; exit 2 ;;
esac
if [ -n "${2:-}" ]; then
  cmake --build "build/$config" -j "$jobs" --target "$2"
else
  cmake --build "build/$config" -j "$jobs"
fi
