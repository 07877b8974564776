#!/usr/bin/env bash
# The installer as binutils' objdump reads it (a PE reader we did not write): one more
# section, ".tvpkg", read-only initialised data of 16 + 2N bytes after every section
# of the stub, and SizeOfImage, SizeOfInitializedData and CheckSum that agree.
# Usage: objdump_test.sh OBJDUMP WORKDIR STUB MAKER [EMULATOR]
set -u
objdump=$1 work=$2 stub=$3 maker=$4 emulator=${5:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
passed=0 failed=0
check() { local name=$1; shift; if "$@"; then passed=$((passed + 1)); echo "ok   $name";
  else failed=$((failed + 1)); echo "FAIL $name"; fi; }
h() { echo $((16#$1)); }
align() { echo $(( ($1 + $2 - 1) / $2 * $2 )); }
field() { h "$(awk -v k="$1" '$1 == k { print $2; exit }' "$2")"; }
sections() { grep -E '^ *[0-9]+ [^ ]+ +[0-9a-f]{8} ' "$1"; }

awk 'BEGIN { for (i = 0; i < 4097; i++) printf "%c", 32 + (i * 7919) % 90 }' >script.bin
$emulator "$maker" wrap --script script.bin -o setup.exe --stub "$stub" >made.txt 2>/dev/null
n=$(sed -n 's/.*container \([0-9]*\) bytes.*/\1/p' made.txt)
"$objdump" -h -p "$stub" >before.txt
"$objdump" -h -p setup.exe >after.txt 2>after.err
check "objdump reads the installer without complaint (N = ${n:-none})" test $? -eq 0 -a ! -s after.err -a -n "$n"
[ -n "$n" ] || { echo "$passed passed, 1 failed (no installer to read)"; exit 1; }
read -r idx _ size vma _ off _ < <(sections after.txt | grep ' \.tvpkg ')
check "one section more, .tvpkg last" test "$(sections after.txt | wc -l)" -eq $(( $(sections before.txt | wc -l) + 1 )) \
  -a "${idx:--1}" -eq $(( $(sections after.txt | wc -l) - 1 ))
check ".tvpkg holds 16 + 2N bytes" test "$(h "${size:-0}")" -eq $(( 16 + 2 * ${n:-0} ))
check ".tvpkg is read-only initialised data" \
  test "$(grep -A1 ' \.tvpkg ' after.txt | tail -1 | sed 's/^ *//')" = "CONTENTS, ALLOC, LOAD, READONLY, DATA"

base=$(field ImageBase after.txt) sa=$(field SectionAlignment after.txt) fa=$(field FileAlignment after.txt)
rva=$(( $(h "${vma:-0}") - base )) raw=$(align "$(h "${size:-0}")" "$fa") at=$(h "${off:-0}")
end=0
while read -r s v; do e=$(( $(h "$v") - base + $(h "$s") )); [ "$e" -gt "$end" ] && end=$e; done \
  < <(sections before.txt | awk '{ print $3, $4 }')
check ".tvpkg starts section-aligned after every section" test $(( rva % sa )) -eq 0 -a "$rva" -ge "$end"
stub_size=$(stat -c %s "$stub")
pa=$(( fa > 4096 ? fa : 4096 ))  # a page of the file at least: loaders map it, not read it
check ".tvpkg's raw data starts page-aligned after the stub's bytes, and ends the file" \
  test $(( at % pa )) -eq 0 -a "$at" -ge "$stub_size" -a "$at" -lt $(( stub_size + pa )) \
  -a "$(stat -c %s setup.exe)" -eq $(( at + raw ))
check "SizeOfImage covers .tvpkg" test "$(field SizeOfImage after.txt)" -eq "$(align $(( rva + $(h "${size:-0}") )) "$sa")"
check "SizeOfInitializedData grew by its raw size" \
  test "$(field SizeOfInitializedData after.txt)" -eq $(( $(field SizeOfInitializedData before.txt) + raw ))
check "SizeOfHeaders unchanged; CheckSum set and changed" test "$(field SizeOfHeaders after.txt)" -eq \
  "$(field SizeOfHeaders before.txt)" -a "$(field CheckSum after.txt)" -ne 0 -a \
  "$(field CheckSum after.txt)" -ne "$(field CheckSum before.txt)"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
