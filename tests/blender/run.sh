#!/bin/sh
# Runs one scenario script in headless Blender: run.sh SCENARIO.py PLOVER WORKDIR
# Exits with 77 (reported by CTest as skipped) when Blender or Assimp's command is missing.
for tool in blender assimp; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: '$tool' is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done
mkdir -p "$3"
exec blender -b --factory-startup --python-exit-code 1 --python "$1" -- "$2" "$3"
