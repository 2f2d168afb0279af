#!/usr/bin/env bash
# Sets everything up and runs the whole test suite twice: optimised, then under ASan + UBSan; then
# the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc 2>/dev/null || echo 2)"
for config in release asan; do
  echo "== $config build =="
  scripts/setup.sh "$config"
  (cd "build/$config" && ctest --output-on-failure -j "$jobs")
done
echo "== Windows options dialog under Wine =="
scripts/test-win32.sh
echo "== Windows programs under Wine =="
scripts/test-windows.sh build/release
echo "All tests passed."
