#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan, coverage in every library) and runs
# each for a while, one after another on one job (one forked worker that keeps going after a finding). Not part of CI: the seed corpora in
# tests/fuzz/corpus run as ordinary tests there.
# Usage: scripts/fuzz.sh [seconds per target, default 600] [target...]
#   targets: xfile_reader scene_document profile gltf gltf_assimp x_import (default: all six)
# Findings (crash-*, timeout-*, oom-*) are written to build/fuzz/findings/<target>/; the
# growing corpora live in build/fuzz/work/<target>/ and start from the checked-in seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(xfile_reader scene_document profile gltf gltf_assimp x_import)

# -O1 with line tables: the speed libFuzzer is tuned for, at a third of the compile time of -O2 -g.
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOVER_FUZZ=ON \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -gline-tables-only -DNDEBUG" \
  -DPLOVER_SANITIZE=ON -DPLOVER_BUILD_BENCH=OFF >/dev/null
for t in "${targets[@]}"; do
  cmake --build build/fuzz -j 2 --target "fuzz_$t"
done

for t in "${targets[@]}"; do
  work="build/fuzz/work/$t"
  findings="build/fuzz/findings/$t"
  mkdir -p "$work" "$findings"
  seeds=(tests/fuzz/corpus/"$t")
  case "$t" in
    xfile_reader|x_import) max_len=1048576; seeds+=(tests/xfile/golden) ;;
    scene_document) max_len=262144; seeds+=(examples tests/anim/scenes tests/skin/scenes tests/xfile/golden tests/host/document/documents) ;;
    profile) max_len=65536 ;;
    gltf|gltf_assimp) max_len=262144 ;;
    *) echo "unknown target: $t" >&2; exit 2 ;;
  esac
  # Seed the work corpus with the files of the right kind only.
  for dir in "${seeds[@]}"; do
    case "$t" in
      xfile_reader|x_import) find "$dir" -maxdepth 1 -type f \( -name '*.x' -o -path '*/corpus/*' \) -exec cp -n {} "$work/" \; ;;
      scene_document) find "$dir" -maxdepth 1 -type f \( -name '*.json' -o -path '*/corpus/*' \) -exec cp -n {} "$work/" \; ;;
      profile|gltf|gltf_assimp) find "$dir" -maxdepth 1 -type f -exec cp -n {} "$work/" \; ;;
    esac
  done
  echo "== fuzz_$t for ${seconds}s =="
  # -rss_limit_mb and -timeout turn unbounded memory and hangs into findings.
  "build/fuzz/tests/fuzz/fuzz_$t" "$work" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$seconds" -max_len="$max_len" \
    -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 -artifact_prefix="$findings/" -print_final_stats=1 \
    2>&1 | tee "build/fuzz/$t.log" | grep -E '^(#[0-9]+:? |==|stat::|.*(crash|timeout|oom|leak)-)' || true
done
