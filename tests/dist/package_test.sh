#!/usr/bin/env bash
# The Debian package as a new user gets it: made by cpack, unpacked into a scratch root
# (dpkg -x, as `apt install` would place it), and the demo installer and the reference's
# first example built with the installed files alone: the maker finds its stub from
# its own folder. Also its name, fields, declared libraries, contents and man page.
# Usage: package_test.sh BUILD_DIR WORKDIR WIN32_STUB VERSION SOURCE_DIR MAKER
# Without the 32-bit stub (the win32 preset not built) it skips (77), unless
# TV_PACKAGE_TEST=required (scripts/test.sh), where that is a failure.
set -u
build=$1 work=$2 stub=$3 version=$4 source=$5 maker=$6
if [ ! -f "$stub" ]; then
  why="the 32-bit installer stub $stub is not built (cmake --build --preset win32), so there is no package to test"
  if [ "${TV_PACKAGE_TEST:-}" = required ]; then echo "FAIL $why"; exit 1; fi
  echo "SKIP $why"; exit 77
fi
rm -rf "$work" && mkdir -p "$work/empty" && cd "$work" || exit 1
passed=0 failed=0
check() { # NAME COMMAND...: passes when the command does
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $name"
  else failed=$((failed + 1)); echo "FAIL $name"; fi
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >cpack.log 2>&1; then
  cat cpack.log; echo "FAIL cpack"; exit 1
fi
deb=deb/talvenor-pack_${version}_$(dpkg --print-architecture).deb
check "the package is $deb" test -f "$deb"
[ -f "$deb" ] || exit 1
field() { dpkg-deb -f "$deb" "$1"; }
check "its name and version" eval '[ "$(field Package)" = talvenor-pack ] && [ "$(field Version)" = "$version" ]'
dpkg-deb -c "$deb" | awk '{print $6}' >contents.txt
for f in usr/bin/talvenor-pack usr/share/talvenor/talvenor-setup.exe usr/share/talvenor/talvenor-ui-driver.exe \
         usr/share/doc/talvenor-pack/manifest.md usr/share/doc/talvenor-pack/try.md \
         usr/share/doc/talvenor-pack/benchmarks.md \
         usr/share/doc/talvenor-pack/examples/first.toml usr/share/doc/talvenor-pack/examples/talvenor/Talvenor.exe \
         usr/share/man/man1/talvenor-pack.1.gz; do
  check "it holds /$f" grep -qx "./$f" contents.txt
done

dpkg -x "$deb" root
installed=$work/root/usr/bin/talvenor-pack
check "the stub is the 32-bit build's" cmp -s root/usr/share/talvenor/talvenor-setup.exe "$stub"
check "the UI driver is the 32-bit build's" cmp -s root/usr/share/talvenor/talvenor-ui-driver.exe \
  "$(dirname "$stub")/talvenor-ui-driver.exe"
check "it recommends wine and xvfb" eval '[[ "$(field Recommends)" == *wine*xvfb* ]]'
check "--version is the package's" eval '[ "$("$installed" --version)" = "talvenor-pack $version" ]'

# Every shared library the maker loads comes from a package that Depends names.
depends=" $(field Depends | tr -d ',') "
for lib in $(readelf -d "$installed" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  owners=$(dpkg -S "*/$lib" 2>/dev/null | cut -d: -f1 | tr ', ' '\n\n' | sort -u)
  declared=no
  for p in $owners; do case "$depends" in *" $p "*) declared=yes ;; esac; done
  check "Depends names the package of $lib ($(echo $owners))" [ "$declared" = yes ]
done

# The man page: rendered without a warning; every command of --help, with every option
# of its own --help, in it.
man --warnings -l root/usr/share/man/man1/talvenor-pack.1.gz >man.txt 2>man.err
check "the man page renders without warnings" eval '[ -s man.txt ] && [ ! -s man.err ]'
in_man() { # COMMAND: it and its options are in man.txt
  grep -q "talvenor-pack $1" man.txt || return 1
  for o in $("$installed" "$1" --help | grep -oE '^  -[^ ]+' | tr ',' ' '); do
    grep -qF -- "$o" man.txt || { echo "     $1 $o is not in the man page"; return 1; }
  done
}
commands=$("$installed" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
check "--help lists commands" [ -n "$commands" ]
for c in $commands; do check "the man page shows talvenor-pack $c and its options" in_man "$c"; done

# The demo installer, the maker run from the scratch root and from a folder without
# build/win32: it must find the installed stub. It equals the build folder's result.
mkdir demo && cp -r "$source/samples/demo/." demo/
cp "$stub" demo/Talvenor.exe  # a stand-in for the demo program
(cd empty && "$installed" build ../demo/manifest.toml -o ../demo.exe) >build.log 2>&1
check "the installed maker builds the demo installer" eval '[ -f demo.exe ] || { cat build.log; false; }'
# Of the same name: the name is the installer's OriginalFilename.
mkdir -p reference && "$maker" build demo/manifest.toml -o reference/demo.exe --stub "$stub" >/dev/null
check "it equals the build folder's demo installer" cmp -s demo.exe reference/demo.exe
"$installed" inspect demo.exe >inspect.txt 2>&1 || true
check "inspect reads it, and the demo's icon and version information" eval 'grep -qF "{App}\help\index.html" inspect.txt &&
  grep -qx "icon: group 1, 3 images" inspect.txt && grep -qx "version: file 1.0.0.0, product 1.0.0.0" inspect.txt &&
  grep -qF "080404B0 FileDescription = \"塔文诺 Talvenor 安装程序\"" inspect.txt'
(cd empty && "$installed" build ../root/usr/share/doc/talvenor-pack/examples/first.toml -o ../first.exe) >build.log 2>&1
check "it builds the reference's first example from the installed copy" eval '[ -f first.exe ] || { cat build.log; false; }'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
