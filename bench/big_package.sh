#!/usr/bin/env bash
# The largest package that does not compress, end to end: 750 MiB of random data (30
# files of 25 MiB) built at --level 1 into an installer of about 1.5 GiB, then
# `talvenor-pack try` on it under Wine. Prints the build's and try's time and peak
# memory, and try's report, for docs/benchmarks.md.
#
# try reads the installer's dialogs with its UI driver from the stub's headers and
# resource section alone, so the 32-bit stub and driver check it as the 64-bit ones do
# (mapping the whole file, a 32-bit driver could not). Not part of scripts/test.sh: it
# takes minutes and some 3 GiB of disk.
#
# Usage: bench/big_package.sh [STUB]
#   STUB  default build/win32/talvenor-setup.exe where this machine runs 32-bit code and
#         32-bit Wine is installed, else build/win64/talvenor-setup.exe (the stand-in)
# Environment: BENCH_DIR (default build/bench-big; it needs about 3 GiB).
set -euo pipefail
cd "$(dirname "$0")/.."
maker=build/native/talvenor-pack
stub=${1:-}
if [ -z "$stub" ]; then
  stub=build/win64/talvenor-setup.exe
  if bash scripts/setup.sh --probe-32bit && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    stub=build/win32/talvenor-setup.exe
  fi
fi
echo "stub: $stub"
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
