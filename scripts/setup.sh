#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Safe to run more than once: it only installs what is missing.
# Usage: setup.sh, or setup.sh --probe-32bit (see below).
set -euo pipefail

# A folder the probe can be written to and run from: the first of these on a file system
# not mounted noexec (talvenor-pack try's probe looks in the same order).
probe_folder() {
  local d
  for d in "${XDG_RUNTIME_DIR:-}" "${TMPDIR:-}" /tmp /var/tmp /dev/shm "${HOME:-}"; do
    [ -n "$d" ] && [ -d "$d" ] && [ -w "$d" ] || continue
    findmnt -no OPTIONS -T "$d" 2>/dev/null | tr , '\n' | grep -qx noexec && continue
    echo "$d"; return 0
  done
  return 1
}

# True when a 32-bit x86 program can be executed here (some kernel sandboxes
# run 64-bit code only). Probed with a tiny static ELF that exits with 0.
can_run_32bit() {
  local probe dir
  dir=$(probe_folder) || { echo "setup: no folder lets programs run (all mounted noexec): 32-bit code taken as not running" >&2; return 1; }
  probe=$(mktemp -p "$dir")
  # ELF32 header + one program header; _start: mov eax,1 (exit); xor ebx,ebx; int 0x80
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' > "$probe"
  chmod +x "$probe"
  local ok=1
  "$probe" 2>/dev/null && ok=0
  rm -f "$probe"
  return $ok
}

# `setup.sh --probe-32bit`: the probe alone (exit status 0 when 32-bit programs run
# here), nothing installed.
if [ "${1:-}" = --probe-32bit ]; then
  can_run_32bit
  exit
fi

need_root() { if [ "$(id -u)" -ne 0 ]; then echo "sudo"; fi; }
SUDO=$(need_root)

pkgs=(
  build-essential cmake ninja-build pkg-config git file
  zlib1g-dev libdeflate-dev libgtest-dev libgmock-dev libbenchmark-dev
  libtomlplusplus-dev libcli11-dev
  clang libclang-rt-14-dev llvm
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev binutils-mingw-w64-i686
  xvfb xauth x11-utils imagemagick fonts-wqy-microhei locales
  valgrind time python3 man-db
  python3-pefile osslsigncode openssl
)
# 64-bit Wine runs the Windows tests (built by the win64 preset). 32-bit Wine
# (wine32:i386) is installed only where this machine can execute 32-bit code
# (TV_WITH_WINE32=no leaves it out, =yes asks for it without the probe).
wine_pkgs=(wine wine64)
case "${TV_WITH_WINE32:-auto}" in
  no) ;;
  yes) wine_pkgs+=(wine32:i386) ;;
  *) if [ "$(uname -m)" = x86_64 ] && can_run_32bit; then wine_pkgs+=(wine32:i386); fi ;;
esac

# Where setup leaves the reason 32-bit Wine could not be installed, for test.sh to tell.
wine32_note=$(cd "$(dirname "$0")/.." && pwd)/build/wine32-not-installed.txt
retry_pause=${TV_APT_RETRY_PAUSE:-15}

# apt-get update, tried three times: a package mirror in the middle of a sync fails some
# index files for a few minutes. What still fails is named and left to apt's resolution.
update_index() {
  local try out
  for try in 1 2 3; do
    if out=$($SUDO apt-get update -qq 2>&1); then return 0; fi
    [ "$try" -lt 3 ] && sleep "$retry_pause"
  done
  echo "setup: apt-get update still fails after 3 tries; going on with the package lists it has. It said:"
  grep -E '^(E|W|Err):' <<<"$out" | grep -vE 'Some index files failed' | head -n 6 | sed 's/^/  /'
}

# The install, in one call; where it fails with 32-bit Wine among the packages, again
# without it: the 64-bit build of the stub then stands in, as on machines that cannot
# execute 32-bit code. Any other failure stops the set-up with apt's own words.
install_packages() {
  local out reason rest=()
  if out=$($SUDO apt-get install -y -qq --no-install-recommends "$@" 2>&1); then
    rm -f "$wine32_note"; return 0
  fi
  for p in "$@"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
  if [ "${#rest[@]}" -eq "$#" ]; then
    echo "setup: the packages could not be installed. apt-get said:" >&2
    grep -E '^(E|W):| : Depends' <<<"$out" | head -n 12 | sed 's/^/  /' >&2
    exit 1
  fi
  reason=$(grep -E '^E:' <<<"$out" | head -n 1 | sed 's/^E: //')
  if [ "${#rest[@]}" -gt 0 ] && ! out=$($SUDO apt-get install -y -qq --no-install-recommends "${rest[@]}" 2>&1); then
    echo "setup: the packages could not be installed. apt-get said:" >&2
    grep -E '^(E|W):| : Depends' <<<"$out" | head -n 12 | sed 's/^/  /' >&2
    exit 1
  fi
  mkdir -p "$(dirname "$wine32_note")"
  echo "${reason:-apt-get could not install it}" > "$wine32_note"
  echo "setup: 32-bit Wine (wine32:i386) cannot be installed (${reason:-apt-get failed}); going on with 64-bit Wine: the demo and the tests use the 64-bit build of the stub"
}

missing=()
for p in "${pkgs[@]}" "${wine_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  update_index
  install_packages "${missing[@]}"
else
  rm -f "$wine32_note"
fi

# The mingw runtime must be the posix-threads flavour only if the default is missing; the
# win32 flavour is what we use (no winpthread dependency in the stub).

if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  if ! grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'zh_CN.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
echo "setup: all build and test dependencies are installed"
