#!/usr/bin/env bash
# Remakes the pictures of the bundled examples in docs/preview/ with `plover preview`:
# a contact sheet of the Fox's Run clip, CesiumMan at three times, a turntable of the
# textured box. Each model is exported with the default options (a private configuration
# folder, so the user's options do not change the pictures).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release plover
plover=build/release/plover
out=docs/preview
config="$(mktemp -d)"
trap 'rm -rf "$config"' EXIT
mkdir -p "$out"
common=(--config-dir "$config" --grid --axes -q)
"$plover" preview examples/Fox/Fox.glb -o "$out/fox-run-sheet.png" --clip Run --sheet 4x3 "${common[@]}"
for t in 0 0.5 1; do
  "$plover" preview examples/CesiumMan/CesiumMan.glb -o "$out/cesiumman-$t.png" --time "$t" --size 320x400 \
    --bones "${common[@]}"
done
"$plover" preview examples/BoxTextured/BoxTextured.gltf -o "$out/box-turntable.png" --turntable 4 --size 512x512 \
  "${common[@]}"
echo "pictures written to $out/"
