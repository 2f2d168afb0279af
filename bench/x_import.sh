#!/usr/bin/env bash
# Reading X files as fast as writing them: the generated 1M-triangle skinned model (normals,
# tangents, two texture sets, colours, 4 weights per vertex, two clips) is exported from its glTF
# source to a text and a binary X file; then each X file is read back and exported again with the
# same options (`plover export in.x -o out.x`), and read into a scene document (`plover dump`).
# Prints times (median of --runs) and peak memory, and checks the targets: X -> X at most 2 x the
# glTF -> X export, peak memory at most 2.5 x the X file + 50 MB. With --convert also `plover
# convert in.x -o out.glb` (once the command exists).
#
#   bench/x_import.sh [--runs N] [--keep DIR] [--plover FILE] [--convert]
#
# Needs a release build and hyperfine (installed when missing). A few minutes on an idle two-core
# machine. Not part of the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=3
work=""
plover=""
convert=0
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --plover) plover="$(realpath "$2")"; shift 2 ;;
    --keep) work="$2"; shift 2 ;;
    --convert) convert=1; shift ;;
    *) echo "usage: bench/x_import.sh [--runs N] [--keep DIR] [--plover FILE] [--convert]" >&2; exit 2 ;;
  esac
done

need=()
command -v hyperfine > /dev/null || need+=(hyperfine)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi

if [ -z "$plover" ]; then
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build build/release -j "$(nproc)" --target plover plover_module bench_make_inputs > /dev/null
  plover="$PWD/build/release/plover"
fi
if [ -z "$work" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/in" "$work/x" "$work/out" "$work/config"
[ -f "$work/in/skinned1m.glb" ] || "$(dirname "$plover")/bench/bench_make_inputs" "$work/in"

opts="-q --config-dir $work/config --set Tangent=1 --set VertexColor=1"
results=()
for t in 0 1; do
  name=$([ $t = 0 ] && echo text || echo binary)
  src="$work/x/skinned1m_$t.x"
  "$plover" export "$work/in/skinned1m.glb" -o "$src" $opts --set XFileType=$t
  rm -f "$work/out/"*; sync
  json="$work/$name.json"
  cmds=(-n write "$plover export $work/in/skinned1m.glb -o $work/out/w.x $opts --set XFileType=$t"
        -n x-to-x "$plover export $src -o $work/out/r.x $opts --set XFileType=$t"
        -n dump "$plover dump $src -o $work/out/d.json -q")
  [ $convert = 1 ] && cmds+=(-n convert "$plover convert $src -o $work/out/c.glb")
  hyperfine -N --warmup 1 --runs "$runs" --style basic --export-json "$json" "${cmds[@]}" > /dev/null
  rss=$( { /usr/bin/time -f '%M' "$plover" export "$src" -o "$work/out/r.x" $opts --set XFileType=$t > /dev/null; } 2>&1 | tail -1)
  dumprss=$( { /usr/bin/time -f '%M' "$plover" dump "$src" -o "$work/out/d.json" -q > /dev/null; } 2>&1 | tail -1)
  results+=("$name $(stat -c %s "$src") $rss $dumprss $json")
done

python3 - "${results[@]}" << 'EOF'
import json, sys, statistics
ok = True
for entry in sys.argv[1:]:
    name, size, rss, dumprss, path = entry.split(" ")
    med = {r["command"]: statistics.median(r["times"]) for r in json.load(open(path))["results"]}
    mb = int(size) / 1e6
    limit = 2.5 * mb + 50
    peak = int(rss) * 1024 / 1e6
    ratio = med["x-to-x"] / med["write"]
    line = (f"{name}: X file {mb:.0f} MB; glTF -> X {med['write']:.2f} s; X -> X {med['x-to-x']:.2f} s "
            f"({ratio:.2f} x, target 2); dump {med['dump']:.2f} s; peak X -> X {peak:.0f} MB, "
            f"dump {int(dumprss) * 1024 / 1e6:.0f} MB (limit {limit:.0f} MB)")
    if "convert" in med:
        line += f"; convert {med['convert']:.2f} s ({med['convert'] / med['write']:.2f} x)"
    print(line)
    ok &= ratio <= 2 and peak <= limit
print("all targets met" if ok else "a target is missed")
sys.exit(0 if ok else 1)
EOF
