#!/usr/bin/env bash
# The Windows download as a user gets it: made by cpack from the win64 build, its names,
# programs and documents checked (the 64-bit maker, the shipped 32-bit stub); then
# unpacked into a scratch folder and used alone under Wine: the maker finds the stub
# beside itself and builds the demo installer, a 32-bit installer, the same bytes as the
# build's maker makes with that stub.
# Usage: zip_test.sh BUILD_DIR WORKDIR NAME SOURCE_DIR WIN32_STUB DEMO_MANIFEST MAKER EMULATOR
#   NAME  the zip's name without .zip; MAKER  the build's own talvenor-pack.exe
# Without the 32-bit stub (the win32 preset not built) it skips (77), unless
# TV_PACKAGE_TEST=required (scripts/test.sh), where that is a failure.
set -u
build=$1 work=$2 name=$3 source=$4 stub=$5 manifest=$6 maker=$7 emulator=$8
if [ ! -f "$stub" ]; then
  why="the 32-bit installer stub $stub is not built (cmake --build --preset win32), so there is no download to test"
  if [ "${TV_PACKAGE_TEST:-}" = required ]; then echo "FAIL $why"; exit 1; fi
  echo "SKIP $why"; exit 77
fi
rm -rf "$work" && mkdir -p "$work/empty" "$work/out" && cd "$work" || exit 1
passed=0 failed=0
check() { # NAME COMMAND...: passes when the command does
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $what"
  else failed=$((failed + 1)); echo "FAIL $what"; fi
}
pe32='PE32 executable*Intel 80386*'
is() { [[ "$(file -b "$1")" == $2 ]]; }  # FILE PATTERN: file(1) says so

if ! cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work/zip" >cpack.log 2>&1; then
  cat cpack.log; echo "FAIL cpack"; exit 1
fi
zip=zip/$name.zip
check "the zip is $zip" test -f "$zip"
[ -f "$zip" ] || exit 1

# Python's reader, not the one that wrote it.
python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip" |
  grep -v '/$' | sort >contents.txt
check "one folder $name/ holds everything" eval '[ -s contents.txt ] && ! grep -qv "^$name/" contents.txt'
top=$(grep -v "^$name/doc/" contents.txt | tr '\n' ' ')
check "beside doc/ only the maker and the stub (found: $top)" \
  [ "$top" = "$name/talvenor-pack.exe $name/talvenor-setup.exe " ]
python3 -m zipfile -e "$zip" unpacked
dir=unpacked/$name
check "the maker is a 64-bit Windows program" is "$dir/talvenor-pack.exe" 'PE32+ executable*x86-64*'
check "the stub is the 32-bit one" is "$dir/talvenor-setup.exe" "$pe32"
check "the stub is the win32 build's, unchanged" cmp -s "$dir/talvenor-setup.exe" "$stub"
check "doc/ holds the manifest reference, the pages it links to and every example" eval \
  'for p in manifest try benchmarks; do cmp -s "$dir/doc/$p.md" "$source/docs/$p.md" || exit 1; done &&
   diff -r "$dir/doc/examples" "$source/docs/examples"'

# Run from a folder with no build/ below it: the only stub to find is the zip's.
out=$work/out/demo.exe
(cd empty && "$emulator" "$work/$dir/talvenor-pack.exe" build "$manifest" -o "$out") >build.log 2>&1
check "the unpacked maker builds the demo installer without --stub" eval '[ -f "$out" ] || { cat build.log; false; }'
check "the installer is a 32-bit program: the stub inside it is the 32-bit one" is "$out" "$pe32"
mkdir reference && "$emulator" "$maker" build "$manifest" -o reference/demo.exe --stub "$stub" -q >/dev/null 2>&1
check "it equals what the build's maker makes with the 32-bit stub" cmp -s "$out" reference/demo.exe
(cd empty && "$emulator" "$work/$dir/talvenor-pack.exe" inspect "$out") >inspect.txt 2>&1
check "the unpacked maker reads it back" grep -qF '{App}\help\index.html' inspect.txt

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
