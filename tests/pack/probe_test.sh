#!/usr/bin/env bash
# Installers started under Wine: the probe, packed as the stub by the Windows maker,
# finds its package in its own loaded image, unpacks exactly the script that went in,
# and Windows (imagehlp) agrees with the PE checksum the maker wrote.
# Usage: probe_test.sh WORKDIR PROBE MAKER EMULATOR [DEMO_MANIFEST]
set -u
work=$1 probe=$2 maker=$3 emulator=$4 demo=${5:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
passed=0 failed=0
check() { local name=$1; shift; if "$@"; then passed=$((passed + 1)); echo "ok   $name";
  else failed=$((failed + 1)); echo "FAIL $name (rc $rc)"; sed 's/^/     | /' out.txt; fi; }
run() { "$emulator" "$@" 2>/dev/null | tr -d '\r' >out.txt; rc=${PIPESTATUS[0]}; }
crc() { gzip -c "$1" | tail -c8 | od -An -tx4 -N4 | tr -d ' \n'; }

awk 'BEGIN { for (i = 0; i < 5001; i++) printf "%c", 33 + (i * 31 + i / 7) % 93 }' >script.bin
run "$maker" wrap --script script.bin -o wrapped.exe --stub "$probe"
run ./wrapped.exe
check "a wrapped 5001-byte script unpacks in the running installer; the checksum agrees" \
  eval '[ $rc -eq 0 ] && grep -qx "OK 5001 $(crc script.bin)" out.txt && grep -q "^CHECKSUM MATCH" out.txt'
if [ -n "$demo" ]; then
  # The probe carries no version information, so the demo goes in without its [installer].
  cp -r "$(dirname "$demo")" demo-src
  awk '/^\[/ { skip = ($0 == "[installer]") } !skip' "$demo" >demo-src/manifest.toml
  run "$maker" build demo-src/manifest.toml -o demo.exe --stub "$probe"
  length=$(sed -n 's/.*install script \([0-9]*\) bytes.*/\1/p' out.txt)
  run ./demo.exe
  check "the demo package (${length:-no} script bytes) unpacks in the running installer" \
    eval '[ $rc -eq 0 ] && grep -q "^OK ${length:-none} " out.txt && grep -q "^CHECKSUM MATCH" out.txt'
fi
run "$probe"
check "a bare stub has no package" eval '[ $rc -eq 1 ] && grep -qx "NO PACKAGE" out.txt'
head -c 600 /dev/zero | tr '\000' '\377' >blob.bin
run "$maker" wrap --blob blob.bin --key 0 -o damaged.exe --stub "$probe"
run ./damaged.exe
check "a damaged package is found and refused" \
  eval '[ $rc -eq 2 ] && grep -qx "DAMAGED the trailer'"'"'s stream length runs past the container" out.txt'
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
