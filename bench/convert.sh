#!/usr/bin/env bash
# `plover convert` against `plover export` on the 1M-triangle skinned model (normals, tangents,
# two UV sets, colours, four weights per vertex, two clips): the X file (text and binary, every
# channel) is written from the glTF source by `plover export`, then turned into glTF by
# `plover convert`. Targets: convert at most 2x the export's time, peak memory at most 2.5x the
# X file + 50 MB.
#
#   bench/convert.sh [--runs N] [--keep DIR]
#
# Not part of the test suite; about two minutes on an idle two-core machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
runs=3
work=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --keep) work="$2"; shift 2 ;;
    *) echo "usage: bench/convert.sh [--runs N] [--keep DIR]" >&2; exit 2 ;;
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
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build/release -j "$(nproc)" --target plover plover_module bench_make_inputs > /dev/null
plover="$root/build/release/plover"
if [ -z "$work" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/in" "$work/out" "$work/config"
[ -f "$work/in/skinned1m.glb" ] || "$root/build/release/bench/bench_make_inputs" "$work/in" > /dev/null
src="$work/in/skinned1m.glb"
all="--set Tangent=1 --set VertexColor=1 --set DeclData=1"

peak() { /usr/bin/time -f '%M' -o "$work/peak" "$@" > /dev/null 2>&1; tail -1 "$work/peak"; }
seconds() {  # median of hyperfine runs
  hyperfine -N --runs "$runs" --style none --export-json "$work/h.json" "$1" > /dev/null
  python3 -c 'import json,statistics,sys; print("%.3f" % statistics.median(json.load(open(sys.argv[1]))["results"][0]["times"]))' "$work/h.json"
}

printf '| case | time | peak RSS MB | limit |\n|---|---:|---:|---|\n'
t=$(seconds "$plover convert -q $src -o $work/out/src.glb")
m=$(( $(peak "$plover" convert -q "$src" -o "$work/out/src.glb") / 1024 ))
printf '| convert skinned1m.glb -> .glb | %s s | %s | |\n' "$t" "$m"
for type in 0 1; do
  name=$([ $type = 0 ] && echo text || echo binary)
  x="$work/out/$name.x"
  te=$(seconds "$plover export -q $src -o $x --config-dir $work/config --set XFileType=$type $all")
  mb=$(( $(stat -c %s "$x") / 1000000 ))
  printf '| export skinned1m.glb -> %s X (%s MB) | %s s | | |\n' "$name" "$mb" "$te"
  if ! "$plover" convert -q "$x" -o "$work/out/$name.glb" 2> "$work/err"; then
    printf '| convert %s X -> .glb | not measured: %s | | |\n' "$name" "$(head -1 "$work/err")"
    continue
  fi
  tc=$(seconds "$plover convert -q $x -o $work/out/$name.glb")
  mc=$(( $(peak "$plover" convert -q "$x" -o "$work/out/$name.glb") / 1024 ))
  ok=$(python3 -c "import sys; tc,te,mc,mb=map(float,sys.argv[1:]); print('met' if tc<=2*te and mc<=2.5*mb+50 else 'MISSED')" "$tc" "$te" "$mc" "$mb")
  printf '| convert %s X -> .glb | %s s | %s | %s (time <= %.2f s, memory <= %d MB) |\n' "$name" "$tc" "$mc" "$ok" \
    "$(python3 -c "print(2*$te)")" "$(python3 -c "print(int(2.5*$mb+50))")"
done
