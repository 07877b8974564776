#!/usr/bin/env bash
# scripts/setup.sh against a package mirror in the middle of a sync: a stand-in apt-get
# (and dpkg-query, dpkg, locale, sudo) on PATH fails as such a mirror makes apt fail.
# The set-up must go on where only index files or 32-bit Wine are missing, say what was
# left out, leave the reason for the test command, and stop on any other failure.
# Usage: setup_test.sh SOURCE_DIR
set -u
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() { # WHAT COMMAND...: passes when the command does
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL $case_name: $what"; fi
}
has() { grep -qF -- "$2" "$1"; }         # FILE TEXT
hasnt() { ! grep -qF -- "$2" "$1"; }

# The stand-ins: every call of apt-get logged; its failures set by FAKE_UPDATE_FAILS (how
# many update calls fail) and FAKE_INSTALL (ok, wine32-breaks, unknown-package).
bin=$work/bin
mkdir -p "$bin"
cat > "$bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "$*" >> "$FAKE_LOG"
case "$*" in
  *update*)
    n=$(grep -c update "$FAKE_LOG")
    if [ "$n" -le "${FAKE_UPDATE_FAILS:-0}" ]; then
      echo "E: Failed to fetch http://deb.example.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (123456 != 123400). Mirror sync in progress? [IP: 192.0.2.1 80]"
      echo "   Hashes of expected file:"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi ;;
  *install*)
    case "${FAKE_INSTALL:-ok}:$*" in
      wine32-breaks:*wine32:i386*)
        echo "Some packages could not be installed. This may mean that you have"
        echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
        echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages."
        exit 100 ;;
      unknown-package:*)
        echo "E: Unable to locate package libtomlplusplus-dev"
        exit 100 ;;
    esac ;;
esac
exit 0
STANDIN
printf '#!/bin/sh\nexit 1\n' > "$bin/dpkg-query"   # nothing installed yet
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' > "$bin/dpkg"
printf '#!/bin/sh\necho C.utf8\necho zh_CN.utf8\n' > "$bin/locale"
printf '#!/bin/sh\nexec "$@"\n' > "$bin/sudo"
chmod +x "$bin"/*

# case | update calls that fail | install | 32-bit Wine asked | exit status |
#   texts the output holds (;-separated) | texts it must not hold | the note left (- none)
cases=(
  "mirror mid-sync|9|wine32-breaks|yes|0|still fails after 3 tries;binary-i386/Packages.xz  File has unexpected size;32-bit Wine (wine32:i386) cannot be installed (Error, pkgProblemResolver::Resolve generated breaks;64-bit build of the stub;all build and test dependencies are installed|Some index files failed|Error, pkgProblemResolver::Resolve generated breaks"
  "index fails once|1|ok|yes|0|all build and test dependencies are installed|still fails;cannot be installed|-"
  "index fails, the rest installs|9|ok|yes|0|still fails after 3 tries;Mirror sync in progress?|cannot be installed|-"
  "32-bit Wine cannot be resolved|0|wine32-breaks|yes|0|32-bit Wine (wine32:i386) cannot be installed|still fails|Error, pkgProblemResolver::Resolve generated breaks"
  "another package missing|0|unknown-package|yes|1|the packages could not be installed;Unable to locate package libtomlplusplus-dev|all build and test dependencies are installed;32-bit Wine (wine32:i386) cannot|-"
  "another package missing, no 32-bit Wine|0|unknown-package|no|1|the packages could not be installed;Unable to locate package libtomlplusplus-dev|all build and test dependencies are installed|-"
)
for row in "${cases[@]}"; do
  IFS='|' read -r case_name update_fails install wine32 want_rc want_texts unwanted_texts want_note <<<"$row"
  tree=$work/tree
  rm -rf "$tree" && mkdir -p "$tree/scripts" "$tree/build"
  cp "$source_dir/scripts/setup.sh" "$tree/scripts/"
  echo "an old reason" > "$tree/build/wine32-not-installed.txt"
  log=$work/apt.log out=$work/out.txt
  : > "$log"
  PATH="$bin:$PATH" FAKE_LOG=$log FAKE_UPDATE_FAILS=$update_fails FAKE_INSTALL=$install \
    TV_WITH_WINE32=$wine32 TV_APT_RETRY_PAUSE=0 bash "$tree/scripts/setup.sh" >"$out" 2>&1
  rc=$?
  check "exit status $rc, expected $want_rc" [ "$rc" = "$want_rc" ]
  IFS=';' read -ra texts <<<"$want_texts"
  for t in "${texts[@]}"; do check "the output says \"$t\"" has "$out" "$t"; done
  IFS=';' read -ra texts <<<"$unwanted_texts"
  for t in "${texts[@]}"; do check "the output does not say \"$t\"" hasnt "$out" "$t"; done
  updates=$(grep -c update "$log")
  check "apt-get update called $updates times" [ "$updates" = $((update_fails >= 3 ? 3 : update_fails + 1)) ]
  # Every install asks for the other packages; only the first may ask for 32-bit Wine.
  check "the first install asks for 32-bit Wine exactly when told to" \
    [ "$(grep install "$log" | head -n 1 | grep -c 'wine32:i386')" = "$([ "$wine32" = yes ] && echo 1 || echo 0)" ]
  check "no install asks for 32-bit Wine again" [ "$(grep install "$log" | tail -n +2 | grep -c 'wine32:i386')" = 0 ]
  check "every install asks for the build tools" [ "$(grep install "$log" | grep -vc ' cmake ')" = 0 ]
  note=$tree/build/wine32-not-installed.txt
  if [ "$want_note" = - ] && [ "$want_rc" = 0 ]; then
    check "no note that 32-bit Wine is missing" [ ! -e "$note" ]
  elif [ "$want_note" != - ]; then
    check "the note gives apt's reason" has "$note" "$want_note"
  fi
  [ "$failed" = 0 ] || { echo "--- output of $case_name:"; cat "$out"; echo "--- apt-get calls:"; cat "$log"; }
done
echo "$passed checks passed, $failed failed"
[ "$failed" = 0 ]
