#!/usr/bin/env bash
# Converts the bundled examples and the test models to .glb and .gltf with `plover convert` and
# runs the Khronos glTF-Validator on every output: no errors, no warnings.
# Usage: convert_validate.sh PLOVER SOURCE_DIR WORK_DIR
set -euo pipefail
plover="$1"; src="$2"; work="$3"
rm -rf "$work"; mkdir -p "$work"
outputs=()
n=0
for input in "$src"/examples/simple_scene.json "$src"/examples/*/*.gl* "$src"/tests/assets/gltf/*/*.gl*; do
  n=$((n + 1))
  name="$(basename "${input%.*}")"
  for ext in glb gltf; do
    mkdir -p "$work/$n-$ext"
    out="$work/$n-$ext/$name.$ext"
    "$plover" convert -q "$input" -o "$out"
    outputs+=("$out")
  done
done
exec "$src/scripts/gltf-validator.sh" "${outputs[@]}"
