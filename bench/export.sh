#!/usr/bin/env bash
# Whole-command benchmark: `plover export` in text, binary and compressed binary against
# Assimp's own X export and Assimp's import alone, on generated glTF binaries and the bundled
# examples. Rewrites the results table in docs/performance.md.
#
#   bench/export.sh [--runs N] [--warmup N] [--keep DIR] [--plover FILE]
#
# Needs a release build (it builds plover, the module and the input generator), hyperfine and
# Assimp's command-line tool (installed when missing). About five minutes on an idle two-core
# machine. Not part of the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
runs=5
warmup=1
work=""
plover=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --warmup) warmup="$2"; shift 2 ;;
    --plover) plover="$(realpath "$2")"; shift 2 ;;
    --keep) work="$2"; shift 2 ;;
    *) echo "usage: bench/export.sh [--runs N] [--warmup N] [--keep DIR] [--plover FILE]" >&2; exit 2 ;;
  esac
done

need=()
command -v hyperfine > /dev/null || need+=(hyperfine)
command -v assimp > /dev/null || need+=(assimp-utils)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi

# --plover: an already built command (with plover.dle and plover_assimp.so beside it and bench/bench_make_inputs
# below it), e.g. a copy kept while the build tree is busy.
if [ -z "$plover" ]; then
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build build/release -j "$(nproc)" --target plover plover_module bench_make_inputs > /dev/null
  plover="$root/build/release/plover"
fi

if [ -z "$work" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/in" "$work/out" "$work/config" "$work/json"
"$(dirname "$plover")/bench/bench_make_inputs" "$work/in"
cp examples/Fox/Fox.glb examples/CesiumMan/CesiumMan.glb "$work/in/"

# name | input file | extra plover options
cases=(
  "Fox (example, skinned, animated)|Fox.glb|"
  "CesiumMan (example, skinned, animated)|CesiumMan.glb|"
  "100k triangles, 1 UV set, textured|mesh100k.glb|"
  "1M triangles, same|mesh1m.glb|"
  "4M triangles, same|mesh4m.glb|"
  "1M triangles skinned, all channels|skinned1m.glb|--set Tangent=1 --set VertexColor=1"
  "10,000 small nodes|nodes10k.glb|"
)

export_cmd() {  # file, format, extra options
  echo "$plover export $work/in/$1 -o $work/out/$2.x -q --config-dir $work/config --set XFileType=$2 $3"
}

load="$(cut -d' ' -f1-3 /proc/loadavg)"
: > "$work/results.tsv"
for c in "${cases[@]}"; do
  IFS='|' read -r name file extra <<< "$c"
  echo "== $name" >&2
  # Every case starts on a quiet disk: the previous case's outputs (up to hundreds of MB) are
  # removed and everything written so far is flushed, so that neither their write-back nor the
  # freeing of their blocks falls inside this case's timings.
  rm -f "$work/out/"*
  sync
  key="${file%.*}"
  hyperfine -N --warmup "$warmup" --runs "$runs" --style basic --export-json "$work/json/$key.json" \
    -n text "$(export_cmd "$file" 0 "$extra")" \
    -n binary "$(export_cmd "$file" 1 "$extra")" \
    -n compressed "$(export_cmd "$file" 2 "$extra")" \
    -n assimp-x "assimp export $work/in/$file $work/out/assimp.x" \
    -n assimp-import "assimp info $work/in/$file -r -s" > /dev/null
  rss=()
  for t in 0 1 2; do
    rss+=("$( { /usr/bin/time -f '%M' $(export_cmd "$file" "$t" "$extra") > /dev/null; } 2>&1 | tail -1)")
  done
  # Assimp's import alone: the floor under any export that reads the file through Assimp.
  rss+=("$( { /usr/bin/time -f '%M' assimp info "$work/in/$file" -r -s > /dev/null; } 2>&1 | tail -1)")
  gz=$(gzip -1 -c "$work/out/1.x" | wc -c)
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$key" "$(stat -c %s "$work/in/$file")" \
    "${rss[0]}" "${rss[1]}" "${rss[2]}" "$(stat -c %s "$work/out/2.x")" "$gz" "$(stat -c %s "$work/out/1.x")" \
    "${rss[3]}" >> "$work/results.tsv"
done

python3 - "$work" "$root/docs/performance.md" "$(nproc)" "$load" "$runs" "$warmup" << 'EOF'
import json, sys, statistics, datetime
work, doc, cores, load, runs, warmup = sys.argv[1:7]
rows = [line.rstrip("\n").split("\t") for line in open(f"{work}/results.tsv")]
def med(key):
    res = json.load(open(f"{work}/json/{key}.json"))["results"]
    return {r["command"]: statistics.median(r["times"]) for r in res}
def t(s): return f"{s * 1000:.0f} ms" if s < 1 else f"{s:.2f} s"
out = ["| input | input MB | plover text | plover binary | plover compressed | Assimp text X | Assimp import only "
       "| peak RSS MB (text / binary / compressed) | Assimp import peak RSS MB | compressed MB (gzip -1 of binary) |",
       "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
times = {}
checks = []
for name, key, size, r0, r1, r2, csize, gz, bsize, ra in rows:
    m = med(key)
    times[key] = m
    mb = int(size) / 1e6
    out.append(f"| {name} | {mb:.1f} | {t(m['text'])} | {t(m['binary'])} | {t(m['compressed'])} | {t(m['assimp-x'])} "
               f"| {t(m['assimp-import'])} | {int(r0)*1024/1e6:.0f} / {int(r1)*1024/1e6:.0f} / {int(r2)*1024/1e6:.0f} "
               f"| {int(ra)*1024/1e6:.0f} | {int(csize)/1e6:.1f} ({int(gz)/1e6:.1f}) |")
    limit = 2.5 * mb + 50
    worst = max(int(r0), int(r1), int(r2)) * 1024 / 1e6
    checks.append((f"{key}: peak memory {worst:.0f} MB, limit 2.5 x input + 50 = {limit:.0f} MB", worst <= limit))
    slowest = max(m['text'], m['binary'], m['compressed'])
    checks.append((f"{key}: slowest format {t(slowest)} vs Assimp's X export {t(m['assimp-x'])}", slowest <= m['assimp-x']))
    if key == "skinned1m":
        checks.append((f"skinned1m: binary {t(m['binary'])}, at most 3 x Assimp's import {t(3 * m['assimp-import'])}",
                       m['binary'] <= 3 * m['assimp-import']))
        checks.append((f"skinned1m: compressed {t(m['compressed'])}, at most 0.75 x Assimp's X export "
                       f"{t(0.75 * m['assimp-x'])}", m['compressed'] <= 0.75 * m['assimp-x']))
        checks.append((f"skinned1m: compressed file {int(csize)/1e6:.1f} MB, at most gzip -1 + 5 % = "
                       f"{int(gz) * 1.05 / 1e6:.1f} MB", int(csize) <= int(gz) * 1.05))
    if key in ("mesh1m", "mesh4m"):
        checks.append((f"{key}: text {t(m['text'])}, Assimp's X export {m['assimp-x'] / m['text']:.1f} x as long "
                       "(target 4 x)", m['assimp-x'] >= 4 * m['text']))
    if key == "nodes10k":
        checks.append((f"nodes10k: slowest format {t(slowest)} vs Assimp's import {t(m['assimp-import'])}",
                       slowest < m['assimp-import']))
if "mesh1m" in times and "mesh4m" in times:
    for f in ("text", "binary", "compressed"):
        g = times["mesh4m"][f] / times["mesh1m"][f]
        checks.append((f"growth {f}: time(4M) / time(1M) = {g:.2f} (target 4.4 at most)", g <= 4.4))
out.append("")
out.append("Targets:")
out.append("")
for text, ok in checks:
    out.append(f"- {'met' if ok else '**missed**'}: {text}")
stamp = datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC")
table = "\n".join([f"Measured {stamp} on {cores} cores, load average before the run {load}; median of "
                   f"{runs} run(s) after {warmup} warm-up run(s) per command.", ""] + out)
begin, end = "<!-- export table begin -->", "<!-- export table end -->"
text = open(doc).read()
if begin in text:
    text = text[:text.index(begin) + len(begin)] + "\n" + table + "\n" + text[text.index(end):]
else:
    text += f"\n{begin}\n{table}\n{end}\n"
open(doc, "w").write(text)
print(table)
EOF
