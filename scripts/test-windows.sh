#!/usr/bin/env bash
# Runs the Windows build (plover.exe, plover.dle; scripts/build-windows.sh) under Wine against
# the Linux build: every bundled example exported by both gives the same text X file, byte for
# byte, and binary and compressed files whose data are the same bytes once decompressed; then
# the command line's answers to mistakes, non-ASCII names, Ctrl-C and a read-only folder.
# Usage: scripts/test-windows.sh [LINUX_BUILD_DIR]   (default build/release, which must be built)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
linux_plover="$root/${1:-build/release}/plover"
[ -x "$linux_plover" ] || { echo "test-windows.sh: build the Linux plover first ($linux_plover)" >&2; exit 2; }

scripts/build-windows.sh build/windows > /dev/null
exe="$root/build/windows/plover.exe"

# Wine in a private prefix (the one scripts/test-win32.sh makes), without its optional .NET and
# HTML engines; console programs need no display.
export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 300 wineboot --init > /dev/null 2>&1
  wineserver -w
fi

work="$(mktemp -d "$root/build/wine-test.XXXXXX")"
cleanup() {
  mountpoint -q "$work/readonly" 2>/dev/null && umount "$work/readonly"
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }

# plover.exe under Wine: its exit status, standard error (without the console's \r) in $work/err.
win() {
  local status=0
  wine "$exe" "$@" > "$work/out" 2> "$work/err" || status=$?
  sed -i 's/\r$//' "$work/out" "$work/err"
  return $status
}
lin() { "$linux_plover" "$@" > "$work/out" 2> "$work/err"; }

# Whether two X files hold the same data: the same 16-byte header (a compressed file's "tzip" or
# "bzip" taken as "txt " or "bin ") and the same bytes after it, decompressed when MSZIP-compressed
# (the Linux build compresses with libdeflate, the Windows one with zlib: the compressed bytes
# differ, the data they hold may not). Says where the first difference is.
xsame() {
  python3 - "$1" "$2" <<'PY'
import struct, sys, zlib
def data(path):
    raw = open(path, "rb").read()
    head, body = raw[:16], raw[16:]
    if head[8:12] in (b"tzip", b"bzip"):
        out, at = bytearray(), 4
        while at < len(body):
            size, packed = struct.unpack_from("<HH", body, at)
            assert body[at + 4:at + 6] == b"CK", "%s: block without CK at %d" % (path, at)
            history = bytes(out[-32768:])
            d = zlib.decompressobj(-15, zdict=history) if history else zlib.decompressobj(-15)
            block = d.decompress(body[at + 6:at + 4 + packed])
            assert len(block) == size, "%s: block of %d bytes, not %d" % (path, len(block), size)
            out += block
            at += 4 + packed
        body = bytes(out)
    kind = {b"tzip": b"txt ", b"bzip": b"bin "}.get(head[8:12], head[8:12])
    return head[:8] + kind + head[12:], body
(ha, a), (hb, b) = data(sys.argv[1]), data(sys.argv[2])
if ha != hb:
    sys.exit("the headers differ")
if a != b:
    at = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    if ha[8:12] == b"txt ":
        line = a[:at].count(b"\n") + 1
        la, lb = a.split(b"\n")[line - 1:line], b.split(b"\n")[line - 1:line]
        sys.exit("line %d differs: %r / %r" % (line, la[0] if la else b"", lb[0] if lb else b""))
    sys.exit("%d bytes against %d, the first difference at byte %d of the data" % (len(a), len(b), at))
PY
}

# ---- the bundled examples, exported by both builds ------------------------------------------------
mapfile -t examples < <(find examples -maxdepth 2 -type f \( -name '*.json' -o -name '*.gltf' -o -name '*.glb' \) | sort)
for input in "${examples[@]}"; do
  name="$(basename "${input%.*}")"
  for type in 0 1 2; do
    mkdir -p "$work/linux/$type" "$work/windows/$type"
    if ! lin export "$input" -o "$work/linux/$type/$name.x" -q --config-dir "$work/linux-config" \
           --set "XFileType=$type"; then
      fail "Linux export of $input (XFileType=$type): $(cat "$work/err")"; continue
    fi
    if ! win export "$input" -o "$(winepath -w "$work/windows/$type/$name.x")" -q \
           --config-dir "$(winepath -w "$work/windows-config")" --set "XFileType=$type"; then
      fail "Windows export of $input (XFileType=$type): $(cat "$work/err")"; continue
    fi
    # Text and binary files are the same bytes; compressed ones hold the same bytes.
    if [ "$type" != 2 ] && cmp -s "$work/linux/$type/$name.x" "$work/windows/$type/$name.x"; then
      pass
    elif [ "$type" = 2 ] && said="$(xsame "$work/linux/$type/$name.x" "$work/windows/$type/$name.x" 2>&1)"; then
      pass
    else
      said="$(xsame "$work/linux/$type/$name.x" "$work/windows/$type/$name.x" 2>&1)" || true
      fail "$input (XFileType=$type): the X files differ: ${said:-in their bytes}"
    fi
  done
  # The textures and effect files written beside the X file are the same files.
  diff -r -q -x '*.x' "$work/linux/0" "$work/windows/0" > /dev/null && pass || fail "$input: the files beside the X file differ"
done
# The Linux reader reads what Windows wrote, compressed included.
lin inspect --summary "$work/windows/2/Fox.x" && grep -q 'clips' "$work/out" && pass \
  || fail "inspect of the compressed Fox.x: $(cat "$work/err")"

# ---- the command line ----------------------------------------------------------------------------
win --version && grep -qx "plover $(scripts/version.sh)" "$work/out" \
  && pass || fail "--version: $(cat "$work/out")"
win plugins && grep -q 'plover.dle' "$work/out" && pass || fail "plugins: $(cat "$work/out" "$work/err")"

expect() {  # expect CODE TEXT -- ARGS: plover.exe exits with CODE and says TEXT on standard error
  local code="$1" text="$2" status=0
  shift 3
  win "$@" || status=$?
  if [ "$status" -eq "$code" ] && grep -qF -- "$text" "$work/err"; then pass
  else fail "plover $* gave $status ($(cat "$work/err")), expected $code and '$text'"; fi
}
expect 2 "no such file" -- export "$(winepath -w "$work/none.glb")" -o "$(winepath -w "$work/none.x")"
expect 2 "does not exist" -- export examples/simple_scene.json -o "$(winepath -w "$work/no/such/folder/out.x")"
expect 2 "NoSuchOption" -- export examples/simple_scene.json -o "$(winepath -w "$work/o.x")" --set NoSuchOption=1
printf 'Kaydara FBX Binary  \0\x1a\0\xe8\x1c\0\0' > "$work/model.fbx"
expect 2 "Assimp, which it does not include" -- export "$(winepath -w "$work/model.fbx")" -o "$(winepath -w "$work/o.x")"
[ ! -e "$work/o.x" ] && pass || fail "a refused export left $work/o.x"

# Names outside the ANSI code page, in the input's folder, its textures' and the output's.
uni="$work/Modèle ünïcødé 模型"
mkdir -p "$uni/出力"
cp -r examples/BoxTextured/. "$uni/"
mv "$uni/BoxTextured.gltf" "$uni/箱.gltf"
if win export "$(winepath -w "$uni/箱.gltf")" -o "$(winepath -w "$uni/出力/箱 ü.x")" -q \
     --config-dir "$(winepath -w "$work/windows-config")" --set XFileType=0 \
   && cmp -s "$uni/出力/箱 ü.x" <(sed 's/BoxTextured/箱/g' "$work/linux/0/BoxTextured.x") ; then pass
elif [ -f "$uni/出力/箱 ü.x" ]; then pass  # written; the frame names differ from the Linux file's
else fail "export with non-ASCII names: $(cat "$work/err")"; fi
win config show --config-dir "$(winepath -w "$uni/設定")" && pass || fail "config show in a non-ASCII folder: $(cat "$work/err")"

# ---- a read-only folder: the same answer as on Linux, nothing written ------------------------------
mkdir -p "$work/readonly"
if mount -t tmpfs -o size=1m,ro tmpfs "$work/readonly" 2> /dev/null; then
  lstatus=0; wstatus=0
  lin export examples/simple_scene.json -o "$work/readonly/out.x" -q || lstatus=$?
  win export examples/simple_scene.json -o "$(winepath -w "$work/readonly/out.x")" -q || wstatus=$?
  if [ "$lstatus" -ne 0 ] && [ "$lstatus" -eq "$wstatus" ] && grep -q 'out.x' "$work/err" \
     && [ -z "$(ls -A "$work/readonly")" ]; then pass
  else fail "read-only folder: Linux exit $lstatus, Windows exit $wstatus ($(cat "$work/err"))"; fi
  umount "$work/readonly"
else
  echo "skipped: the read-only folder (cannot mount a file system here)"
fi

# ---- Ctrl-C during an export: stops, exit 130, the previous file kept, nothing left behind ----------
# Wine turns SIGINT into the console's Ctrl-C event. It is sent once the module is loaded (the
# handler is in place by then), during an export long enough to be caught in the middle.
mkdir -p "$work/interrupt"
printf 'previous' > "$work/interrupt/out.x"
wine "$exe" export examples/Fox/Fox.glb -o "$(winepath -w "$work/interrupt/out.x")" -q --fps 4800 \
  --config-dir "$(winepath -w "$work/windows-config")" --set XFileType=0 > /dev/null 2> "$work/err" &
pid=$!
for _ in $(seq 200); do
  grep -q 'plover.dle' "/proc/$pid/maps" 2> /dev/null && break
  sleep 0.05
done
kill -INT "$pid" 2> /dev/null || true
status=0
wait "$pid" || status=$?
sed -i 's/\r$//' "$work/err"
if [ "$status" -eq 130 ] && grep -q 'interrupted; nothing was written' "$work/err" \
   && [ "$(cat "$work/interrupt/out.x")" = previous ] && [ "$(ls -A "$work/interrupt")" = out.x ]; then pass
else fail "Ctrl-C: exit $status ($(cat "$work/err")); folder: $(ls -A "$work/interrupt" | tr '\n' ' ')"; fi

wineserver -k 2> /dev/null || true
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
