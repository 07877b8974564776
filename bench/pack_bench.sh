#!/usr/bin/env bash
# The maker's container size and time at compression levels 12, 9 and 6 against
# `tar | gzip -9` of the same files, on two payloads: the mixed one below and one large
# shared library of the system. Prints Markdown tables for docs/benchmarks.md.
#
# Usage: bench/pack_bench.sh [MAKER] [STUB]
#   MAKER  default build/native/talvenor-pack
#   STUB   default build/native/tests/pack/test-stub-stripped.exe (made by the native build)
# Environment: BENCH_DIR (default build/bench-pack), BENCH_RUNS (default 3),
#   BENCH_LIB (default /usr/lib/x86_64-linux-gnu/libLLVM-14.so.1, from the llvm package
#   that scripts/setup.sh installs), BENCH_LEVELS (default "12 9 6"),
#   BENCH_BIG=1: one large payload instead, 1,020 MiB that compresses (17 hard-linked
#   copies of the text, records and small files below), at levels 12, 6 and 1 by default.
#
# Each round runs gzip and every level one after the other, so that a change in the
# machine's load hits all of them alike; the median round is reported, wall time and
# CPU time (user + system). The load average is printed before and after.
#
# The payload is made once, deterministically (fixed seeds), in $BENCH_DIR/payload
# (bench/make_payload.py):
#   40 MiB  random bytes (incompressible: archives, media)
#   30 MiB  text, English and Chinese words (logs, documents)
#   20 MiB  binary records with small variations (tables, game data)
#   10 MiB  2560 small files of 4 KiB (configuration, scripts)
set -euo pipefail
cd "$(dirname "$0")/.."
maker=${1:-build/native/talvenor-pack}
stub=${2:-build/native/tests/pack/test-stub-stripped.exe}
dir=${BENCH_DIR:-build/bench-pack}
runs=${BENCH_RUNS:-3}
for f in "$maker" "$stub"; do
  [ -f "$f" ] || { echo "pack_bench: $f does not exist (build the native preset first)" >&2; exit 1; }
done
mkdir -p "$dir"

python3 bench/make_payload.py "$dir"

lib=${BENCH_LIB:-/usr/lib/x86_64-linux-gnu/libLLVM-14.so.1}
if [ -n "${BENCH_BIG:-}" ]; then
  levels=${BENCH_LEVELS:-12 6 1}
  for i in $(seq -w 1 17); do
    [ -d "$dir/payload-big/$i" ] || { mkdir -p "$dir/payload-big/$i" &&
      cp -al "$dir/payload/docs" "$dir/payload/data" "$dir/payload/conf" "$dir/payload-big/$i/"; }
  done
else
  levels=${BENCH_LEVELS:-12 9 6}
  [ -f "$lib" ] || { echo "pack_bench: $lib does not exist (set BENCH_LIB to a large shared library)" >&2; exit 1; }
  mkdir -p "$dir/payload-lib"
  [ -f "$dir/payload-lib/$(basename "$lib")" ] || cp "$lib" "$dir/payload-lib/"
fi

mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
median() { sort -n | sed -n "$(( (runs + 1) / 2 ))p"; }

# One payload: the maker at each level and tar | gzip -9, `runs` rounds.
bench_payload() { # KEY NAME FOLDER
  local name=$2 folder=$3 w=$dir/work-$1
  rm -rf "$w" && mkdir -p "$w"
  printf '%s\n' '[[variable]]' 'name = "{App}"' "value = 'D:\\Kesta'" '[[tree]]' "source = \"../$folder\"" \
    "destination = '{App}'" >"$w/manifest.toml"
  local bytes files
  bytes=$(find "$dir/$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
  files=$(find "$dir/$folder" -type f | wc -l)
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f "%e %U %S" -o "$w/t.txt" bash -c "tar -C '$dir' --hard-dereference -cf - '$folder' | gzip -9 >'$w/payload.tar.gz'"
    read -r e u s <"$w/t.txt"; echo "$e $(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')" >>"$w/gzip.times"
    for level in $levels; do
      /usr/bin/time -f "%e %U %S %M" -o "$w/t.txt" "$maker" build "$w/manifest.toml" -o "$w/setup$level.exe" \
        --stub "$stub" --level "$level" >"$w/maker$level.txt"
      read -r e u s m <"$w/t.txt"; echo "$e $(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') $m" >>"$w/level$level.times"
    done
  done
  local gzip_bytes g_wall g_cpu
  gzip_bytes=$(stat -c %s "$w/payload.tar.gz")
  g_wall=$(cut -d' ' -f1 "$w/gzip.times" | median)
  g_cpu=$(cut -d' ' -f2 "$w/gzip.times" | median)
  echo "**$name**: $files files, $(mib "$bytes") MiB; median of $runs rounds."
  echo
  echo "| what | wall (s) | CPU (s) | time vs gzip -9 (wall / CPU) | compressed (bytes) | vs gzip -9 | peak memory |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  for level in $levels; do
    "$maker" inspect "$w/setup$level.exe" >/dev/null
    local c wall cpu mem
    c=$(sed -n 's/.*container \([0-9]*\) bytes.*/\1/p' "$w/maker$level.txt")
    wall=$(cut -d' ' -f1 "$w/level$level.times" | median)
    cpu=$(cut -d' ' -f2 "$w/level$level.times" | median)
    mem=$(cut -d' ' -f3 "$w/level$level.times" | median)
    awk -v l="$level" -v w="$wall" -v c="$cpu" -v gw="$g_wall" -v gc="$g_cpu" -v n="$c" -v g="$gzip_bytes" -v m="$mem" 'BEGIN {
      printf "| talvenor-pack --level %s | %.2f | %.2f | %.2f / %.2f | %d | %.4f | %.0f MiB |\n", l, w, c, w / gw, c / gc, n, n / g, m / 1024 }'
  done
  awk -v w="$g_wall" -v c="$g_cpu" -v g="$gzip_bytes" 'BEGIN {
    printf "| tar \\| gzip -9 | %.2f | %.2f | 1.00 / 1.00 | %d | 1.0000 | |\n", w, c, g }'
  echo
}

echo "Load before: $(uptime | sed 's/.*load average/load average/')"
echo
if [ -n "${BENCH_BIG:-}" ]; then
  bench_payload big "large payload that compresses" payload-big
else
  bench_payload mixed "mixed payload" payload
  bench_payload lib "large binary ($(basename "$lib"))" payload-lib
fi
echo "Load after: $(uptime | sed 's/.*load average/load average/'); $(nproc) cores ($(uname -m))."
