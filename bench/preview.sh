#!/usr/bin/env bash
# Preview benchmark: `plover preview` of the generated 1M-triangle model at 1024x1024 against
# its `plover export`, and a 4x4 contact sheet of the Fox example. Rewrites the preview table in
# docs/performance.md. Not part of the test suite; about a minute on an idle two-core machine.
#
#   bench/preview.sh [--runs N] [--keep DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
runs=5
work=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --keep) work="$2"; shift 2 ;;
    *) echo "usage: bench/preview.sh [--runs N] [--keep DIR]" >&2; exit 2 ;;
  esac
done
command -v hyperfine > /dev/null || {
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq hyperfine
}
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build/release -j "$(nproc)" --target plover plover_module plover_preview_module bench_make_inputs > /dev/null
plover="$root/build/release/plover"
if [ -z "$work" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/in" "$work/out" "$work/config"
[ -e "$work/in/mesh1m.glb" ] || "$root/build/release/bench/bench_make_inputs" "$work/in" > /dev/null
cp examples/Fox/Fox.glb "$work/in/"
c="--config-dir $work/config"
load="$(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine -N --warmup 1 --runs "$runs" --style basic --export-json "$work/times.json" \
  -n export "$plover export $work/in/mesh1m.glb -o $work/out/mesh1m.x -q $c" \
  -n preview "$plover preview $work/in/mesh1m.glb -o $work/out/mesh1m.png --size 1024x1024 -q $c" \
  -n preview-x "$plover preview $work/out/mesh1m.x -o $work/out/mesh1m-x.png --size 1024x1024 -q" \
  -n fox-sheet "$plover preview $work/in/Fox.glb -o $work/out/fox.png --clip Run --sheet 4x4 -q $c" > /dev/null

python3 - "$work/times.json" "$root/docs/performance.md" "$(nproc)" "$load" "$runs" << 'PY'
import json, sys, statistics, datetime
times, doc, cores, load, runs = sys.argv[1:6]
res = json.load(open(times))["results"]
m = {r["command"]: statistics.median(r["times"]) for r in res}
# hyperfine reports each command's mean user and system time, not each run's.
cpu = {r["command"]: r["user"] + r["system"] for r in res}
def t(s): return f"{s * 1000:.0f} ms" if s < 1 else f"{s:.2f} s"
now = datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC")
lines = [f"Measured {now} on {cores} cores, load average before the run {load}; median of {runs} runs after 1 warm-up run.", "",
         "| command | time (median) | CPU time (mean user + system, all threads) |", "|---|---:|---:|",
         f"| `plover export mesh1m.glb` | {t(m['export'])} | {t(cpu['export'])} |",
         f"| `plover preview mesh1m.glb --size 1024x1024` (export to a temporary X file, read, draw, PNG) | {t(m['preview'])} | {t(cpu['preview'])} |",
         f"| `plover preview mesh1m.x --size 1024x1024` (read, draw, PNG) | {t(m['preview-x'])} | {t(cpu['preview-x'])} |",
         f"| `plover preview Fox.glb --clip Run --sheet 4x4` (1024 x 1024) | {t(m['fox-sheet'])} | {t(cpu['fox-sheet'])} |", "", "Targets:", ""]
for text, ok in [(f"1M triangles at 1024 x 1024: {t(m['preview'])}, under 3 x its export {t(3 * m['export'])}", m['preview'] < 3 * m['export']),
                 (f"Fox 4 x 4 sheet: {t(m['fox-sheet'])}, under 1 s", m['fox-sheet'] < 1)]:
    lines.append(f"- {'met' if ok else 'NOT met'}: {text}")
text = open(doc).read()
begin, end = "<!-- preview table begin -->", "<!-- preview table end -->"
a, b = text.index(begin) + len(begin), text.index(end)
open(doc, "w").write(text[:a] + "\n" + "\n".join(lines) + "\n" + text[b:])
print("\n".join(lines))
PY
