#!/usr/bin/env bash
# Sets everything up and exports the bundled example scene to out/example.x.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
mkdir -p out
build/release/plover export examples/simple_scene.json -o out/example.x "$@"
