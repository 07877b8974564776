#!/usr/bin/env bash
# The Windows maker's zip as a user gets it: made by cpack from this Windows build, its
# names, programs and documents checked; then, where this machine runs the build's
# programs (EMULATOR given: Wine), unpacked into a scratch folder and used alone: the
# maker finds the stub beside itself and builds the demo installer, the same bytes as
# the build's own.
# Usage: zip_test.sh BUILD_DIR WORKDIR NAME BITS SOURCE_DIR STUB DEMO_MANIFEST DEMO_SETUP [EMULATOR]
#   NAME  the zip's name without .zip; BITS  32 or 64
set -u
build=$1 work=$2 name=$3 bits=$4 source=$5 stub=$6 manifest=$7 demo=$8 emulator=${9:-}
rm -rf "$work" && mkdir -p "$work/empty" "$work/out" && cd "$work" || exit 1
passed=0 failed=0
check() { # NAME COMMAND...: passes when the command does
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $what"
  else failed=$((failed + 1)); echo "FAIL $what"; fi
}

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
if [ "$bits" = 32 ]; then format='PE32 executable*Intel 80386*'; else format='PE32+ executable*x86-64*'; fi
for exe in talvenor-pack.exe talvenor-setup.exe; do
  check "$exe is a $bits-bit Windows program" eval '[[ "$(file -b "$dir/$exe")" == $format ]]'
done
check "the stub is this build's, unchanged" cmp -s "$dir/talvenor-setup.exe" "$stub"
check "doc/ holds the manifest reference and every example" eval \
  'cmp -s "$dir/doc/manifest.md" "$source/docs/manifest.md" && diff -r "$dir/doc/examples" "$source/docs/examples"'

if [ -n "$emulator" ]; then
  # Run from a folder with no build/ below it: the only stub to find is the zip's.
  out=$work/out/$(basename "$demo")
  (cd empty && "$emulator" "$work/$dir/talvenor-pack.exe" build "$manifest" -o "$out") >build.log 2>&1
  check "the unpacked maker builds the demo installer without --stub" eval '[ -f "$out" ] || { cat build.log; false; }'
  check "it equals the build's demo installer" cmp -s "$out" "$demo"
  (cd empty && "$emulator" "$work/$dir/talvenor-pack.exe" inspect "$out") >inspect.txt 2>&1
  check "the unpacked maker reads it back" grep -qF '{App}\help\index.html' inspect.txt
else
  echo "(the build's programs cannot run here: the zip is not run; the win64 build runs it)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
