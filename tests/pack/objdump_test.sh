#!/usr/bin/env bash
# The installer as binutils' objdump reads it (a PE reader we did not write): one more
# section, ".tvpkg", read-only initialised data of 16 + 2N bytes, placed after the
# last section in memory and at the file-aligned end of the stub in the file, and
# headers (SizeOfImage, SizeOfInitializedData, CheckSum) that agree with it.
# Usage: objdump_test.sh OBJDUMP WORKDIR STUB MAKER [EMULATOR]
set -u
objdump=$1 work=$2 stub=$3 maker=$4 emulator=${5:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
passed=0 failed=0
check() { # NAME CONDITION...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $name"; else failed=$((failed + 1)); echo "FAIL $name"; fi
}
hex() { echo $((16#$1)); }
align() { echo $(( ($1 + $2 - 1) / $2 * $2 )); }

# 4097 script bytes of a fixed pattern: a container length that is no multiple of 4
# is likely, and any length must do.
awk 'BEGIN { for (i = 0; i < 4097; i++) printf "%c", 32 + (i * 7919) % 90 }' >script.bin
$emulator "$maker" wrap --script script.bin -o setup.exe --stub "$stub" >made.txt 2>made.err
n=$(sed -n 's/.*container \([0-9]*\) bytes.*/\1/p' made.txt)
check "the maker made setup.exe" test -f setup.exe -a -n "$n"
[ -f setup.exe ] && [ -n "$n" ] || { echo "$passed passed, $failed failed"; exit 1; }

"$objdump" -h -p "$stub" >before.txt 2>before.err
"$objdump" -h -p setup.exe >after.txt 2>after.err
rc=$?
check "objdump reads the installer without complaint" test "$rc" -eq 0 -a ! -s after.err

field() { awk -v k="$1" '$1 == k { print $2; exit }' "$2"; }
sections() { grep -cE '^ *[0-9]+ [^ ]+ +[0-9a-f]{8} ' "$1"; }
check "one section more" test "$(sections after.txt)" -eq $(( $(sections before.txt) + 1 ))

read -r idx name size vma lma off algn < <(grep -E '^ *[0-9]+ \.tvpkg ' after.txt)
flags=$(grep -A1 -E '^ *[0-9]+ \.tvpkg ' after.txt | tail -1 | sed 's/^ *//')
check ".tvpkg is the last section" test "$idx" -eq $(( $(sections after.txt) - 1 ))
check ".tvpkg holds 16 + 2N bytes (N = $n)" test "$(hex "$size")" -eq $(( 16 + 2 * n ))
check ".tvpkg is read-only initialised data" test "$flags" = "CONTENTS, ALLOC, LOAD, READONLY, DATA"

image_base=$(hex "$(field ImageBase after.txt)")
sa=$(hex "$(field SectionAlignment after.txt)")
fa=$(hex "$(field FileAlignment after.txt)")
rva=$(( $(hex "$vma") - image_base ))
raw=$(align "$(hex "$size")" "$fa")
stub_size=$(stat -c %s "$stub")
check ".tvpkg starts section-aligned" test $(( rva % sa )) -eq 0
last_end=0
while read -r s_size s_vma; do
  end=$(( $(hex "$s_vma") - image_base + $(hex "$s_size") ))
  [ "$end" -gt "$last_end" ] && last_end=$end
done < <(grep -E '^ *[0-9]+ [^ ]+ +[0-9a-f]{8} ' before.txt | awk '{ print $3, $4 }')
check ".tvpkg lies after every section of the stub" test "$rva" -ge "$last_end"
check ".tvpkg's raw data is file-aligned after the stub's bytes" \
  test $(( $(hex "$off") % fa )) -eq 0 -a "$(hex "$off")" -ge "$stub_size" -a "$(hex "$off")" -lt $(( stub_size + fa ))
check "the file ends with the section's raw data" test "$(stat -c %s setup.exe)" -eq $(( $(hex "$off") + raw ))
check "SizeOfImage covers .tvpkg" \
  test "$(hex "$(field SizeOfImage after.txt)")" -eq "$(align $(( rva + $(hex "$size") )) "$sa")"
check "SizeOfInitializedData grew by the raw size" \
  test "$(hex "$(field SizeOfInitializedData after.txt)")" -eq $(( $(hex "$(field SizeOfInitializedData before.txt)") + raw ))
check "SizeOfHeaders is unchanged" test "$(field SizeOfHeaders after.txt)" = "$(field SizeOfHeaders before.txt)"
sum=$(field CheckSum after.txt)
check "CheckSum is set and changed" test "$(hex "$sum")" -ne 0 -a "$sum" != "$(field CheckSum before.txt)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
