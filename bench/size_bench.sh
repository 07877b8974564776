#!/usr/bin/env bash
# The installer as a download: its size as it is and as `zip -9`, `gzip -9` and `xz -9`
# make it, on the mixed payload (bench/make_payload.py). Three installers of the same
# files: the maker's, with zeros between the stored container's bytes (what it writes);
# the same installer with the pseudo-random filler that the maker wrote before
# (reproduced byte for byte below: xorshift32 from 0x9E3779B9, its low byte at each odd
# offset of the blob, and the PE checksum made again; the installer reads none of these
# bytes); and NSIS's, solid LZMA (bench/payload.nsi). Prints a Markdown table for
# docs/benchmarks.md.
#
# Usage: bench/size_bench.sh [MAKER] [STUB]
#   MAKER  default build/native/talvenor-pack
#   STUB   default build/win32/talvenor-setup.exe (the shipped stub)
# Environment: BENCH_DIR (default build/bench-pack, the payload shared with pack_bench.sh).
# Needs makensis (Debian's nsis), zip and xz (xz-utils); the tests do not.
set -euo pipefail
cd "$(dirname "$0")/.."
maker=${1:-build/native/talvenor-pack}
stub=${2:-build/win32/talvenor-setup.exe}
dir=${BENCH_DIR:-build/bench-pack}
for f in "$maker" "$stub"; do
  [ -f "$f" ] || { echo "size_bench: $f does not exist (build the native and win32 presets first)" >&2; exit 1; }
done
for tool in makensis:nsis zip:zip xz:xz-utils; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "size_bench: needs ${tool%%:*} (apt-get install ${tool#*:})" >&2; exit 1; }
done
python3 bench/make_payload.py "$dir"
w=$dir/work-size
rm -rf "$w" && mkdir -p "$w"
printf '%s\n' '[[variable]]' 'name = "{App}"' "value = 'D:\\Kesta'" '[[tree]]' 'source = "../payload"' \
  "destination = '{App}'" >"$w/manifest.toml"

"$maker" build "$w/manifest.toml" -o "$w/zero.exe" --stub "$stub" >"$w/maker.txt"
container=$(sed -n 's/.*container \([0-9]*\) bytes.*/\1/p' "$w/maker.txt")
python3 - "$w/zero.exe" "$w/random.exe" <<'PY'
import array, struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
count, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
for s in range(count):
    at = pe + 24 + optional + 40 * s
    if data[at:at + 8] == b".tvpkg\0\0":
        raw = struct.unpack_from("<I", data, at + 20)[0]
        n = struct.unpack_from("<I", data, raw + 8)[0]
        break
else:
    sys.exit("size_bench: no package section in " + sys.argv[1])
filler, x = bytearray(n), 0x9E3779B9
for i in range(n):
    x ^= (x << 13) & 0xFFFFFFFF
    x ^= x >> 17
    x ^= (x << 5) & 0xFFFFFFFF
    filler[i] = x & 0xFF
blob = raw + 16
data[blob + 1:blob + 2 * n:2] = filler
struct.pack_into("<I", data, pe + 88, 0)  # the PE checksum, made again
words = array.array("H", bytes(data) + b"\0" * (len(data) % 2))
total = sum(words)
while total >> 16:
    total = (total & 0xFFFF) + (total >> 16)
struct.pack_into("<I", data, pe + 88, total + len(data))
open(sys.argv[2], "wb").write(data)
PY
makensis -V1 "-DOUT=$PWD/$w/nsis.exe" "-DPAYLOAD=$PWD/$dir/payload" bench/payload.nsi

num() { python3 -c 'import sys; print(f"{int(sys.argv[1]):,}")' "$1"; }  # 1,234,567
cell() { echo "$(num "$1") ($(awk -v b="$1" -v c="$container" 'BEGIN { printf "%.2f", b / c }')×)"; }
sizes() { # FILE: as it is | zip -9 | gzip -9 | xz -9
  rm -f "$w/x.zip"
  zip -9 -q -X -j "$w/x.zip" "$1"
  echo "$(cell "$(stat -c %s "$1")") | $(cell "$(stat -c %s "$w/x.zip")") |" \
       "$(cell "$(gzip -9 -n -c "$1" | wc -c)") | $(cell "$(xz -9 -T1 -c "$1" | wc -c)")"
}
payload=$(find "$dir/payload" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
echo "Payload: $(find "$dir/payload" -type f | wc -l) files, $(num "$payload") bytes; container" \
     "$(num "$container") bytes; as \`tar | gzip -9\`: $(num "$(tar -C "$dir" -cf - payload | gzip -9 -n | wc -c)")" \
     "bytes. Stub: $(basename "$stub"), $(stat -c %s "$stub") bytes. In brackets: times the container."
echo
echo "| installer | as it is | zip -9 | gzip -9 | xz -9 |"
echo "|---|---:|---:|---:|---:|"
echo "| talvenor-pack, pseudo-random filler (before) | $(sizes "$w/random.exe") |"
echo "| talvenor-pack, zero filler (now) | $(sizes "$w/zero.exe") |"
echo "| NSIS $(makensis -VERSION), solid LZMA, 64 MiB dictionary | $(sizes "$w/nsis.exe") |"
