#!/usr/bin/env bash
# Sets everything up and runs the whole test suite twice: optimised, then under ASan + UBSan; then
# the Windows build under Wine; then the packages made of the optimised and Windows builds.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc 2>/dev/null || echo 2)"
for config in release asan; do
  echo "== $config build =="
  PLOVER_BUILD_BENCH=OFF scripts/setup.sh "$config"  # the benchmarks are not run here
  (cd "build/$config" && ctest --output-on-failure -j "$jobs")
done
echo "== Windows options dialog under Wine =="
scripts/test-win32.sh
echo "== Windows programs under Wine =="
scripts/test-windows.sh build/release
echo "== Packages: made from the builds above, installed, used, removed =="
scripts/package.sh --linux-build build/release --windows-build build/windows build/dist
scripts/test-packages.sh build/dist
echo "All tests passed."
