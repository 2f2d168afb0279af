#!/usr/bin/env bash
# Converts the bundled examples and the test models to glTF with `plover convert` and
# runs the Khronos glTF-Validator on every output: no errors, no warnings.
# Usage: convert_validate.sh PLOVER SOURCE_DIR WORK_DIR
set -euo pipefail
plover="$1"; src="$2"; work="$3"
rm -rf "$work"; mkdir -p "$work"
outputs=()
n=0
# The examples' models that are copies of test models (as those are of the shared ones) are
# converted once.
inputs=("$src"/examples/simple_scene.json "$src"/tests/assets/gltf/*/*.gl*)
for example in "$src"/examples/*/*.gl*; do
  cmp -s "$example" "$src/tests/assets/gltf/${example#"$src"/examples/}" || inputs+=("$example")
done
for input in "${inputs[@]}"; do
  n=$((n + 1))
  name="$(basename "${input%.*}")"
  # Each model to the other form (a .gltf to .glb and the other way), the scene document to both.
  case "$input" in
    *.json) forms="glb gltf" ;;
    *.gltf) forms=glb ;;
    *) forms=gltf ;;
  esac
  for ext in $forms; do
    mkdir -p "$work/$n-$ext"
    out="$work/$n-$ext/$name.$ext"
    "$plover" convert -q "$input" -o "$out"
    outputs+=("$out")
  done
done
exec "$src/scripts/gltf-validator.sh" "${outputs[@]}"
