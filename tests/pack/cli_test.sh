#!/usr/bin/env bash
# The maker's command line as a user runs it: build, wrap, inspect, --version, the
# default stub (beside the maker, an installed maker's ../share/talvenor, build/win32),
# the demo manifest, and errors as one line on stderr (a manifest's, one line each), a
# non-zero exit, no output left.
# Usage: cli_test.sh WORKDIR STUB MAKER [EMULATOR]
#   (DEMO_SOURCE: samples/demo, and DEMO_STUB: a stub with version information for it; optional)
set -u
work=$1 stub=$2 maker=$3 emulator=${4:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
passed=0 failed=0
check() { # NAME COMMAND...: passes when the command does
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $name"
  else failed=$((failed + 1)); echo "FAIL $name (rc $rc)"; sed 's/^/     | /' out.txt err.txt; fi
}
# Runs the maker (in $RUN_IN, as $MAKER_AS); out.txt and err.txt without CRs, and
# err.txt only the maker's own lines (an emulator may add its own).
pack() {
  (cd "${RUN_IN:-.}" && exec $emulator "${MAKER_AS:-$maker}" "$@") >"$work/out.raw" 2>"$work/err.raw"
  rc=$?
  tr -d '\r' <"$work/out.raw" >"$work/out.txt"
  tr -d '\r' <"$work/err.raw" | grep '^talvenor-pack' >"$work/err.txt"
}
has() { grep -qxF -- "$1" out.txt; }
# refused PHRASE OUTPUT: failed with one line that holds PHRASE; nothing at OUTPUT.
refused() { [ "$rc" -ne 0 ] && [ "$(wc -l <err.txt)" -eq 1 ] && grep -qF -- "$1" err.txt && ! ls "$2"* >/dev/null 2>&1; }

mkdir -p pkg/数据/sub out
printf 'MZ' >pkg/Talvenor.exe && printf 'odd' >pkg/数据/odd.txt && : >pkg/数据/sub/empty.bin
printf '%s\n' '[[variable]]' 'name = "{AppName}"' 'value = "塔文诺"' '[[variable]]' 'name = "{App}"' \
  "value = 'D:\\Kesta'" '[[file]]' 'source = "Talvenor.exe"' "destination = '{App}\\Talvenor.exe'" \
  '[[tree]]' 'source = "数据"' "destination = '{App}\\数据'" '[[shortcut]]' "target = '{App}\\Talvenor.exe'" \
  "location = '{Desktop}\\塔文诺'" >pkg/manifest.toml

pack build pkg/manifest.toml -o out/setup.exe --stub "$stub"
check "build" test "$rc" -eq 0 -a -f out/setup.exe -a ! -s err.txt
pack build pkg/manifest.toml -o new/folders/setup.exe --stub "$stub"
check "build -o into folders that do not exist: made" test "$rc" -eq 0 -a -f new/folders/setup.exe -a ! -s err.txt
check "the summary gives the room for the install folder" eval 'grep -qF ", install folder up to 242 characters" out.txt'
pack inspect out/setup.exe
check "inspect lists the package" eval '[ $rc -eq 0 ] && has "format version: 1" && has "files: 3" &&
  grep -qF "  {AppName} = 塔文诺" out.txt && has "  {App}\数据\odd.txt  (3 bytes)   -> D:\Kesta\数据\odd.txt" &&
  has "install folder up to 242 characters (the installer'"'"'s own check)" &&
  has "  line 1: target={App}\Talvenor.exe arguments= location={Desktop}\塔文诺   -> {Desktop}\塔文诺.lnk starting D:\Kesta\Talvenor.exe" &&
  grep -qF "key 0x2C7E13A5" out.txt'
pack build pkg/manifest.toml -o out/again.exe --stub "$stub"
check "two builds are byte-identical" cmp -s out/setup.exe out/again.exe

pack extract out/setup.exe -o back
check "extract gives the files back" eval '[ $rc -eq 0 ] && cmp -s back/Talvenor.exe pkg/Talvenor.exe &&
  cmp -s back/数据/odd.txt pkg/数据/odd.txt && [ -f back/数据/sub/empty.bin ] && grep -qF "shortcut (not made): {Desktop}\塔文诺.lnk" out.txt'
touch back.before
pack extract out/setup.exe -o back
check "extract refuses a folder that is not empty, writing nothing into it" eval '[ "$rc" -ne 0 ] &&
  [ "$(wc -l <err.txt)" -eq 1 ] && grep -qF "back: is not empty" err.txt && [ -z "$(find back -newer back.before)" ]'
for level in 1 6; do
  pack build pkg/manifest.toml -o "out/level$level.exe" --stub "$stub" --level "$level"
  check "build --level $level" eval '[ $rc -eq 0 ] && ! cmp -s out/setup.exe "out/level$level.exe" &&
    rm -rf "lv$level" && $emulator "$maker" extract "out/level$level.exe" -o "lv$level" >/dev/null 2>&1 && cmp -s "lv$level/数据/odd.txt" pkg/数据/odd.txt'
done

# A long build: no progress display when stderr is not a terminal; with --quiet no summary.
mkdir big && awk 'BEGIN { srand(1); n = split("install folder shortcut package version kesta window file data", w, " ");
  for (i = 0; i < 100000; i++) printf "%s%s", w[int(rand() * n) + 1], (i % 12 == 11 ? "\n" : " ") }' >big/big.txt
printf '%s\n' '[[variable]]' 'name = "{App}"' "value = 'D:\\Kesta'" '[[file]]' 'source = "big.txt"' \
  "destination = '{App}\\x\\..\\..\\big.bin'" >big/big.toml
pack build big/big.toml -o out/big.exe --stub "$stub"
check "no progress when stderr is not a terminal; one warning line" eval '[ $rc -eq 0 ] && [ "$(wc -l <err.txt)" -eq 1 ] &&
  grep -qxF "talvenor-pack: big/big.toml:6: warning: [[file]] destination \"{App}\\x\\..\\..\\big.bin\" leaves {App} through \"..\"" err.txt &&
  ! grep -q "files read" err.raw'
pack build big/big.toml -o out/big.exe --stub "$stub" --quiet
check "--quiet: no summary" eval '[ $rc -eq 0 ] && [ ! -s out.txt ]'
if [ -z "$emulator" ] && command -v script >/dev/null; then
  # On a terminal (a pseudo-terminal made by script) the line shows, then is erased.
  script -qec "\"$maker\" build big/big.toml -o out/big.exe --stub \"$stub\" --level 12" /dev/null >tty.txt 2>&1
  check "progress on a terminal, erased at the end" eval 'grep -qa "1/1 files read" tty.txt &&
    grep -qa "MiB compressed (100%)" tty.txt && tr "\r" "\n" <tty.txt | grep -a "out/big.exe:" | grep -qv "compressed ("'
fi

printf '\001\0\0\0\0\0\0\0\0\0\0\0\0\0' >script.bin  # version 1, nothing in it
pack wrap --script script.bin -o out/wrapped.exe --stub "$stub" --key 4660
pack inspect out/wrapped.exe
check "wrap --script (decimal key)" eval '[ $rc -eq 0 ] && has "install script: 14 bytes" && has "files: 0" &&
  grep -qF "key 0x00001234" out.txt'
head -c 2000 /dev/zero | tr '\000' '\377' >blob.bin  # its trailer runs past the container
pack wrap --blob blob.bin --key 0x7 -o out/blob.exe --stub "$stub"
pack inspect out/blob.exe
check "wrap --blob; inspect names the damage" eval '[ $rc -ne 0 ] && grep -qF "1000-byte container, key 0x00000007" out.txt &&
  grep -qxF "talvenor-pack: out/blob.exe: the trailer'"'"'s stream length runs past the container (the installer shows \"安装文件已损坏!\" and stops)" err.txt'

# -D: repeatable, over [define], before or after the manifest; a value never used is an error.
sed 's/value = "塔文诺"/value = "塔文诺 ${v}"/' pkg/manifest.toml >pkg/defined.toml && printf '[define]\nv = "1.0"\nversion = "0.0.0"\n' >>pkg/defined.toml
pack build -D v=2.3.1 pkg/defined.toml -o out/unused.exe --stub "$stub" -D versoin=3.1.4
check "build -D versoin: refused, naming it" refused \
  "talvenor-pack: pkg/defined.toml: -D versoin is not used: the manifest has no \${versoin}; did you mean version?" out/unused.exe
pack build -D v=2.3.1 pkg/defined.toml -o out/defined.exe --stub "$stub"
check "build -D: no warning" eval '[ $rc -eq 0 ] && [ ! -s err.txt ]'
pack inspect out/defined.exe
check "build -D: the value put in" grep -qxF "  {AppName} = 塔文诺 2.3.1   (the install dialog's caption, as written)" out.txt

printf '[[variable]]\nname = "App"\nvalue = "x"\n' >pkg/bad.toml
# 1.9 GiB of zeros, sparse: refused before a byte of it is read.
truncate -s 1900M big/zeros.bin && sed 's/big.txt/zeros.bin/' big/big.toml >big/huge.toml
# A stored blob 2 bytes over its ceiling, sparse: judged as every package, before it is read.
truncate -s 1610612738 big/blob.bin
while IFS='|' read -r name phrase output args; do
  # shellcheck disable=SC2086
  pack $args -o "$output"
  check "$name" refused "$phrase" "$output"
done <<EOF2
manifest error|talvenor-pack: pkg/bad.toml:2: variable name "App"|out/e1.exe|build pkg/bad.toml --stub $stub
missing stub|nothere.exe: does not exist|out/e2.exe|build pkg/manifest.toml --stub nothere.exe
bad key|--key "0x1FFFFFFFF" is not a 32-bit number|out/e4.exe|build pkg/manifest.toml --stub $stub --key 0x1FFFFFFFF
blob without key|--blob requires --key|out/e6.exe|wrap --blob blob.bin --stub $stub
-D without =|talvenor-pack: -D: "v" has no "=": write NAME=VALUE|out/e7.exe|build pkg/defined.toml --stub $stub -D v
-D not a name|-D: "2v" is not a name|out/e8.exe|build pkg/defined.toml --stub $stub -D 2v=1
output under a file|pkg/Talvenor.exe/x.exe: cannot be written: its folder "pkg/Talvenor.exe" cannot be made (Not a directory)|pkg/Talvenor.exe/x.exe|build pkg/manifest.toml --stub $stub
no manifest|pkg/nothere.toml: cannot read the manifest (No such file or directory)|out/e11.exe|build pkg/nothere.toml --stub $stub
blob over the ceiling|stored package would be 1610612738 bytes (twice the 805306369-byte compressed container), 2 bytes over the limit of 1.5 GiB (1610612736 bytes)|out/e10.exe|wrap --blob big/blob.bin --key 1 --stub $stub
script over the ceiling|over the limit of 1.5 GiB (1610612736 bytes); an installer holds at most 1.5 GiB of install script|out/huge.exe|build big/huge.toml --stub $stub
EOF2

# Over the 1 GiB that 32-bit Windows leaves the installer (1.1 GiB of zeros): it builds,
# with one line saying that it needs 64-bit Windows. A 32-bit maker (a PE32 file) holds
# no such script, and says which maker does.
pe32() { local at; at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' '); [ "$(od -An -tx2 -j$((at + 24)) -N2 "$1" 2>/dev/null | tr -d ' ')" = 010b ]; }
truncate -s 1100M big/zeros.bin
pack build big/huge.toml -o out/huge.exe --stub "$stub" --level 1 --quiet
if pe32 "$maker"; then
  check "over the 32-bit line: this 32-bit maker refuses, naming the 64-bit one" refused \
    "that this 32-bit maker can hold; the 64-bit maker" out/huge.exe
else
  check "over the 32-bit line: built, with the note" eval '[ $rc -eq 0 ] && [ -s out/huge.exe ] &&
    [ "$(wc -l <err.txt)" -eq 2 ] && grep -q "out/huge.exe: note: this installer needs 64-bit Windows: it holds 11[0-9][0-9] MiB" err.txt'
fi
rm -f out/huge.exe big/zeros.bin big/blob.bin

# A manifest's mistakes told together, each its own line with the prefix, in the
# order of their lines.
printf '[[variable]]\nname = "App"\nvalue = "x"\n[[file]]\nsource = 1\ndestination = "x"\n' >pkg/three.toml
pack build pkg/three.toml --stub "$stub" -o out/e9.exe
printf '%s\n' 'talvenor-pack: pkg/three.toml:2: variable name "App" must be one name in braces, like "{App}"' \
  'talvenor-pack: pkg/three.toml:5: [[file]] "source" must be a string' \
  'talvenor-pack: pkg/three.toml:6: [[file]] destination "x" expands to "x", which is not an absolute path' >want.txt
check "manifest errors, one a line" eval '[ $rc -eq 1 ] && diff want.txt err.txt && [ ! -e out/e9.exe ]'

# The default stub: talvenor-setup.exe beside the maker, else in ../share/talvenor/
# from the maker's folder (an installed maker, wherever its prefix was moved), else in
# ../win32/ from it (a source build), never under the current folder. Each case runs
# a copy of the maker from another folder.
mkdir -p side alone empty prefix/bin prefix/share/talvenor src/build/native src/build/win32 cwd/build/win32
cp "$maker" side/ && cp "$maker" alone/ && cp "$stub" side/talvenor-setup.exe && cp "$stub" cwd/build/win32/talvenor-setup.exe
cp "$maker" prefix/bin/ && cp "$stub" prefix/share/talvenor/talvenor-setup.exe && mv prefix moved
cp "$maker" src/build/native/ && cp "$stub" src/build/win32/talvenor-setup.exe
MAKER_AS="$work/side/$(basename "$maker")" pack build pkg/manifest.toml -o out/side.exe
check "stub beside the maker" cmp -s out/side.exe out/setup.exe
RUN_IN=empty MAKER_AS="$work/moved/bin/$(basename "$maker")" pack build ../pkg/manifest.toml -o ../out/moved.exe
check "stub of an installed maker, prefix moved" cmp -s out/moved.exe out/setup.exe
RUN_IN=empty MAKER_AS="$work/src/build/native/$(basename "$maker")" pack build ../pkg/manifest.toml -o ../out/src.exe
check "stub of a source build, run in another folder" cmp -s out/src.exe out/setup.exe
RUN_IN=cwd MAKER_AS="$work/alone/$(basename "$maker")" pack build ../pkg/manifest.toml -o ../out/none.exe
said() { tr '\\' / <err.txt | grep -qF -- "$1"; }  # in err.txt, with either separator
check "no stub beside the maker (one under the current folder is not taken)" eval 'refused "no installer stub: looked for" out/none.exe &&
  said "alone/talvenor-setup.exe" && said "/share/talvenor/talvenor-setup.exe" &&
  said "/win32/talvenor-setup.exe" && ! said "cwd/build" && said "--stub"'

if [ -n "${PROJECT_VERSION:-}" ]; then
  pack --version
  check "--version is the project's" eval '[ $rc -eq 0 ] && [ "$(cat out.txt)" = "talvenor-pack $PROJECT_VERSION" ]'
fi

if [ -n "${DEMO_SOURCE:-}" ]; then  # the demo package, a stand-in for its program
  mkdir demo && cp -r "$DEMO_SOURCE/." demo/ && cp "$stub" demo/Talvenor.exe
  pack build demo/manifest.toml -o out/demo.exe --stub "$DEMO_STUB"
  pack inspect out/demo.exe
  check "the demo manifest" eval '[ $rc -eq 0 ] && has "variables: 7" && has "files: 9" && has "shortcuts: 3 (3 records in 12 lines)" &&
    has "  {Help} = {App}\help\index.html   -> D:\Kesta\help\index.html" &&
    has "  {App}\data\cache\empty.bin  (0 bytes)   -> D:\Kesta\data\cache\empty.bin" && grep -qF "{FinishTip}" out.txt && grep -qF "{LaunchTip}" out.txt'
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
