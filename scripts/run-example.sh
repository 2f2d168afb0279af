#!/usr/bin/env bash
# Installs the packages the command needs (not those of the tests), builds it and exports the
# bundled examples: examples/simple_scene.json to out/example.x, then each model under examples/
# to out/<Model>.x (textures beside it).
# Extra arguments go to every export (for example --set XFileType=0 for text files).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release plover
mkdir -p out
build/release/plover export examples/simple_scene.json -o out/example.x "$@"
for model in examples/*/*.gltf examples/*/*.glb; do
  [ -e "$model" ] || continue
  name="$(basename "${model%.*}")"
  build/release/plover export "$model" -o "out/$name.x" "$@"
done
