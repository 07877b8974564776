#!/usr/bin/env bash
# The largest package that does not compress, end to end: 750 MiB of random data (30
# files of 25 MiB) built at --level 1 into an installer of about 1.5 GiB, then
# `talvenor-pack try` on it under Wine. Prints the build's and try's time and peak
# memory, and try's report, for docs/benchmarks.md.
#
# Usage: bench/big_package.sh [STUB]
#   STUB  default build/win64/talvenor-setup.exe (the stand-in where no 32-bit code
#         runs; give build/win32/talvenor-setup.exe where it does)
# Environment: BENCH_DIR (default build/bench-big; it needs about 3 GiB).
set -euo pipefail
cd "$(dirname "$0")/.."
maker=build/native/talvenor-pack
stub=${1:-build/win64/talvenor-setup.exe}
dir=${BENCH_DIR:-build/bench-big}
for f in "$maker" "$stub"; do
  [ -f "$f" ] || { echo "big_package: $f does not exist (build the native and Windows presets first)" >&2; exit 1; }
done
mkdir -p "$dir/files"
for i in $(seq -w 1 30); do
  [ -s "$dir/files/part$i.bin" ] || head -c 25M /dev/urandom >"$dir/files/part$i.bin"
done
printf '%s\n' 'format_version = 1' '[[variable]]' 'name = "{App}"' "value = 'C:\\Big Random'" '[[tree]]' \
  'source = "files"' "destination = '{App}'" >"$dir/m.toml"
echo "Load before: $(uptime | sed 's/.*load average/load average/')"
/usr/bin/time -f "build: %e s wall, %M KiB peak" "$maker" build "$dir/m.toml" -o "$dir/setup.exe" --stub "$stub" --level 1
echo "installer: $(stat -c %s "$dir/setup.exe") bytes"
/usr/bin/time -f "try: %e s wall, %M KiB peak" "$maker" try "$dir/setup.exe"
echo "Load after: $(uptime | sed 's/.*load average/load average/'); $(nproc) cores."
