#!/usr/bin/env bash
# Installers started under Wine: the probe, packed as the stub by the Windows maker,
# finds its package in its own loaded image, unpacks it to the very script that went
# in, and Windows (imagehlp) agrees with the PE checksum the maker wrote.
# Usage: probe_test.sh WORKDIR PROBE MAKER EMULATOR [DEMO_MANIFEST]
set -u
work=$1 probe=$2 maker=$3 emulator=$4 demo=${5:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok   $1"; }
bad() { failed=$((failed + 1)); echo "FAIL $1"; [ -n "${2:-}" ] && sed 's/^/     | /' <<<"$2"; }
run() { # runs a Windows program; sets rc, out (CR dropped) and err
  "$emulator" "$@" >run.out 2>run.err
  rc=$?
  out=$(tr -d '\r' <run.out)
  err=$(grep -v '^X connection' run.err)
}
crc() { gzip -c "$1" | tail -c8 | od -An -tx4 -N4 | tr -d ' \n'; }

# A script of 5001 bytes (odd) taken as it is.
awk 'BEGIN { for (i = 0; i < 5001; i++) printf "%c", 33 + (i * 31 + i / 7) % 93 }' >script.bin
run "$maker" wrap --script script.bin -o wrapped.exe --stub "$probe"
run ./wrapped.exe
expected="OK 5001 $(crc script.bin)"
if [ "$rc" -eq 0 ] && [ "$(head -1 <<<"$out")" = "$expected" ] && grep -q '^CHECKSUM MATCH' <<<"$out"; then
  ok "wrapped script unpacks in the running installer; checksum agrees"
else
  bad "wrapped script (rc $rc, expected \"$expected\")" "$out"
fi

# A package built from a manifest, as the installer will meet it.
mkdir -p pkg/数据
awk 'BEGIN { for (i = 0; i < 3001; i++) printf "%c", i % 251 }' >pkg/数据/odd.bin
: >pkg/数据/empty.txt
cat >pkg/manifest.toml <<'TOML'
[[variable]]
name = "{AppName}"
value = "塔文诺"
[[variable]]
name = "{App}"
value = 'D:\Kesta'
[[tree]]
source = "数据"
destination = '{App}\数据'
[[shortcut]]
target = '{App}\数据\odd.bin'
location = '{Programs}\塔文诺\数据'
TOML
run "$maker" build pkg/manifest.toml -o built.exe --stub "$probe"
length=$(sed -n 's/.*install script \([0-9]*\) bytes.*/\1/p' <<<"$out")
run ./built.exe
if [ "$rc" -eq 0 ] && [ -n "$length" ] && grep -q "^OK $length " <<<"$out" && grep -q '^CHECKSUM MATCH' <<<"$out"; then
  ok "built package unpacks in the running installer"
else
  bad "built package (rc $rc, script $length bytes)" "$out$err"
fi

if [ -n "$demo" ]; then
  run "$maker" build "$demo" -o demo.exe --stub "$probe"
  length=$(sed -n 's/.*install script \([0-9]*\) bytes.*/\1/p' <<<"$out")
  run ./demo.exe
  if [ "$rc" -eq 0 ] && [ -n "$length" ] && grep -q "^OK $length " <<<"$out"; then
    ok "the demo package unpacks in the running installer"
  else
    bad "the demo package (rc $rc, script $length bytes)" "$out$err"
  fi
fi

# The probe itself: without a package it says so; with a damaged one, why.
run "$probe"
if [ "$rc" -eq 1 ] && [ "$out" = "NO PACKAGE" ]; then ok "a bare stub has no package"; else bad "bare stub (rc $rc)" "$out"; fi
head -c 600 /dev/zero | tr '\000' '\377' >blob.bin
run "$maker" wrap --blob blob.bin --key 0 -o damaged.exe --stub "$probe"
run ./damaged.exe
if [ "$rc" -eq 2 ] && [ "$out" = "DAMAGED the trailer's stream length runs past the container" ]; then
  ok "a damaged package is found and refused"
else
  bad "damaged package (rc $rc)" "$out"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
