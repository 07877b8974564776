#!/usr/bin/env bash
# The maker's command line, run as a user runs it: build, wrap, inspect, the default
# stub, and each error as one line on stderr with a non-zero exit and no output left.
# Usage: cli_test.sh WORKDIR STUB MAKER [EMULATOR]
# (EMULATOR runs a Windows maker, e.g. tests/wine/wine-run.sh.)
set -u
work=$1 stub=$2 maker=$3 emulator=${4:-}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
passed=0 failed=0
ok() { passed=$((passed + 1)); echo "ok   $1"; }
bad() { failed=$((failed + 1)); echo "FAIL $1"; [ -n "${2:-}" ] && sed 's/^/     | /' <<<"$2"; }

# Runs the maker; sets rc, out (stdout) and err (stderr, only the maker's own lines
# when an emulator adds noise of its own).
pack() {
  local m=$maker
  [ -n "${MAKER_OVERRIDE:-}" ] && m=$MAKER_OVERRIDE
  (cd "${RUN_IN:-.}" && exec $emulator "$m" "$@") >"$work/stdout.raw" 2>"$work/stderr.raw"
  rc=$?
  # A Windows program ends its lines with CR LF.
  tr -d '\r' <"$work/stdout.raw" >"$work/stdout.txt"
  tr -d '\r' <"$work/stderr.raw" >"$work/stderr.txt"
  if [ -n "$emulator" ]; then
    err=$(grep '^talvenor-pack' "$work/stderr.txt")
  else
    err=$(cat "$work/stderr.txt")
  fi
  out=$(cat "$work/stdout.txt")
}

# expect_error NAME OUTPUT PHRASE ARGS...: fails with one line holding PHRASE, and
# leaves neither OUTPUT nor a temporary file beside it.
expect_error() {
  local name=$1 output=$2 phrase=$3
  shift 3
  pack "$@"
  local lines
  lines=$(printf '%s' "$err" | grep -c '')
  local leftovers
  leftovers=$(ls -a "$(dirname "$output")" 2>/dev/null | grep -c "^$(basename "$output")")
  if [ "$rc" -ne 0 ] && [ "$lines" -eq 1 ] && [[ "$err" == "talvenor-pack: "*"$phrase"* ]] &&
     [ "$leftovers" -eq 0 ]; then
    ok "$name"
  else
    bad "$name (rc $rc, $lines stderr lines, $leftovers files left)" "$err"
  fi
}

# A small package with Chinese names, an odd-length and an empty file.
mkdir -p pkg/数据/sub out
printf 'MZ-not-really-a-program' >pkg/Talvenor.exe
printf 'odd' >pkg/数据/odd.txt
: >pkg/数据/sub/empty.bin
cat >pkg/manifest.toml <<'EOF'
[[variable]]
name = "{AppName}"
value = "塔文诺"
[[variable]]
name = "{App}"
value = 'D:\Kesta'
[[file]]
source = "Talvenor.exe"
destination = '{App}\Talvenor.exe'
[[tree]]
source = "数据"
destination = '{App}\数据'
[[shortcut]]
target = '{App}\Talvenor.exe'
location = '{Desktop}\塔文诺'
EOF

pack build pkg/manifest.toml -o out/setup.exe --stub "$stub"
if [ "$rc" -eq 0 ] && [ -f out/setup.exe ] && [ -z "$err" ]; then ok "build"; else bad "build (rc $rc)" "$err"; fi

pack inspect out/setup.exe
if [ "$rc" -eq 0 ] && grep -qx 'format version: 1' stdout.txt && grep -qx 'files: 3' stdout.txt &&
   grep -qF '  {App}\数据\odd.txt  (3 bytes)' stdout.txt && grep -qF '  {App}\数据\sub\empty.bin  (0 bytes)' stdout.txt &&
   grep -qF '  {AppName} = 塔文诺' stdout.txt && grep -qF 'location={Desktop}\塔文诺' stdout.txt &&
   grep -qF 'key 0x2C7E13A5' stdout.txt; then
  ok "inspect lists the package"
else
  bad "inspect lists the package (rc $rc)" "$out$err"
fi

pack build pkg/manifest.toml -o out/again.exe --stub "$stub"
if cmp -s out/setup.exe out/again.exe; then ok "two builds are byte-identical"; else bad "two builds are byte-identical"; fi

pack build pkg/manifest.toml -o out/keyed.exe --stub "$stub" --key 4660
pack inspect out/keyed.exe
if [ "$rc" -eq 0 ] && grep -qF 'key 0x00001234' stdout.txt; then ok "decimal --key"; else bad "decimal --key" "$out$err"; fi

# The smallest script there is: version 1, no variables, no files, no shortcuts.
printf '\001\000\000\000\000\000\000\000\000\000\000\000\000\000' >script.bin
pack wrap --script script.bin -o out/wrapped.exe --stub "$stub" --key 0xDEADBEEF
pack inspect out/wrapped.exe
if [ "$rc" -eq 0 ] && grep -qF 'key 0xDEADBEEF' stdout.txt && grep -qx 'install script: 14 bytes' stdout.txt &&
   grep -qx 'variables: 0' stdout.txt && grep -qx 'files: 0' stdout.txt && grep -qx 'shortcuts: 0' stdout.txt; then
  ok "wrap --script keeps the script as it is"
else
  bad "wrap --script (rc $rc)" "$out$err"
fi

# A blob of 0xFF bytes: its trailer claims a stream longer than the container.
head -c 2000 /dev/zero | tr '\000' '\377' >blob.bin
pack wrap --blob blob.bin --key 7 -o out/blob.exe --stub "$stub"
pack inspect out/blob.exe
if [ "$rc" -ne 0 ] && grep -qF '1000-byte container, key 0x00000007' stdout.txt &&
   [ "$err" = "talvenor-pack: out/blob.exe: the trailer's stream length runs past the container" ]; then
  ok "wrap --blob embeds it; inspect names the damage"
else
  bad "wrap --blob (rc $rc)" "$out$err"
fi

pack inspect "$stub"
if [ "$rc" -ne 0 ] && [[ "$err" == *"carries no package section (.tvpkg)" ]]; then ok "inspect of a bare stub"; else bad "inspect of a bare stub" "$err"; fi

# Errors.
printf '[[variable]]\nname = "App"\nvalue = "x"\n' >pkg/bad.toml
expect_error "manifest error names file and line" out/e1.exe "pkg/bad.toml:2: variable name \"App\"" \
  build pkg/bad.toml -o out/e1.exe --stub "$stub"
expect_error "missing manifest" out/e2.exe "pkg/none.toml: cannot read the manifest" \
  build pkg/none.toml -o out/e2.exe --stub "$stub"
expect_error "missing stub" out/e3.exe "nothere.exe: does not exist" \
  build pkg/manifest.toml -o out/e3.exe --stub nothere.exe
expect_error "packed stub" out/e4.exe "out/setup.exe: the stub already carries a package section" \
  build pkg/manifest.toml -o out/e4.exe --stub out/setup.exe
expect_error "stub that is no executable" out/e5.exe "pkg/manifest.toml: the stub is not a Windows executable" \
  build pkg/manifest.toml -o out/e5.exe --stub pkg/manifest.toml
expect_error "bad key" out/e6.exe "--key \"0x1FFFFFFFF\" is not a 32-bit number" \
  build pkg/manifest.toml -o out/e6.exe --stub "$stub" --key 0x1FFFFFFFF
head -c 2001 /dev/zero >odd.bin
expect_error "odd blob" out/e7.exe "odd.bin: has an odd size (2001 bytes)" \
  wrap --blob odd.bin --key 1 -o out/e7.exe --stub "$stub"
expect_error "blob without key" out/e8.exe "--blob requires --key" \
  wrap --blob blob.bin -o out/e8.exe --stub "$stub"
expect_error "wrap with nothing to wrap" out/e9.exe "wrap needs --script or --blob" \
  wrap -o out/e9.exe --stub "$stub"
expect_error "output folder missing" nofolder/x.exe "nofolder/x.exe: cannot be written" \
  build pkg/manifest.toml -o nofolder/x.exe --stub "$stub"

# The default stub: beside the maker, else build/win32/ under the current folder.
mkdir -p side cwd/build/win32 empty
cp "$maker" side/
cp "$stub" side/talvenor-setup.exe
cp "$stub" cwd/build/win32/talvenor-setup.exe
MAKER_OVERRIDE="$work/side/$(basename "$maker")" pack build pkg/manifest.toml -o out/side.exe
if [ "$rc" -eq 0 ] && cmp -s out/side.exe out/setup.exe; then ok "stub beside the maker"; else bad "stub beside the maker" "$err"; fi
RUN_IN=cwd pack build ../pkg/manifest.toml -o ../out/cwd.exe
if [ "$rc" -eq 0 ] && cmp -s out/cwd.exe out/setup.exe; then ok "stub under build/win32"; else bad "stub under build/win32" "$err"; fi
RUN_IN=empty expect_error "no stub anywhere" out/none.exe "talvenor-setup.exe: does not exist" \
  build ../pkg/manifest.toml -o ../out/none.exe

# The demo package from the sources, with a stand-in for the demo program.
if [ -n "${DEMO_SOURCE:-}" ]; then
  mkdir -p demo && cp -r "$DEMO_SOURCE/manifest.toml" "$DEMO_SOURCE/files" demo/ && cp "$stub" demo/Talvenor.exe
  pack build demo/manifest.toml -o out/demo.exe --stub "$stub"
  pack inspect out/demo.exe
  missing=""
  for v in '{AppName} = ' '{AppVerName} = ' '{App} = D:\Kesta' '{Launch} = {App}\Talvenor.exe' \
           '{Help} = {App}\help\index.html' '{FinishTip} = ' '{LaunchTip} = '; do
    grep -qF "  $v" stdout.txt || missing="$missing $v"
  done
  if [ "$rc" -eq 0 ] && [ -z "$missing" ] && grep -qx 'files: 9' stdout.txt && grep -qx 'shortcuts: 3' stdout.txt &&
     grep -qF '  {App}\data\cache\empty.bin  (0 bytes)' stdout.txt &&
     grep -qF 'location={Programs}\塔文诺\塔文诺帮助' stdout.txt; then
    ok "the demo manifest builds and reads back"
  else
    bad "the demo manifest (rc $rc; missing:$missing)" "$out$err"
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
