#!/usr/bin/env bash
# Runs the Khronos glTF-Validator (npm package gltf-validator) on glTF files and exits 1 when
# any has an error or a warning. The package is installed into build/gltf-validator (or
# $PLOVER_VALIDATOR_DIR) the first time, with node and npm from Debian when they are missing.
# Usage: scripts/gltf-validator.sh [--ignore CODE]... FILE.glb|FILE.gltf...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${PLOVER_VALIDATOR_DIR:-$root/build/gltf-validator}"
version=2.0.0-dev.3.10

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq nodejs npm
fi
mkdir -p "$dir"
# One install at a time when several tests start together.
exec 9>"$dir/.lock"
flock 9
if [ ! -f "$dir/node_modules/gltf-validator/package.json" ]; then
  (cd "$dir" && npm install --silent --no-audit --no-fund --no-save "gltf-validator@$version" >&2)
fi
flock -u 9
exec node "$root/scripts/gltf-validator.js" "$dir/node_modules/gltf-validator" "$@"
