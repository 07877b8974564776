#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Safe to run more than once: it only installs what is missing.
# Usage: setup.sh, or setup.sh --probe-32bit (see below).
set -euo pipefail

# True when a 32-bit x86 program can be executed here (some kernel sandboxes
# run 64-bit code only). Probed with a tiny static ELF that exits with 0.
can_run_32bit() {
  local probe
  probe=$(mktemp)
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
# (wine32:i386) is installed only where this machine can execute 32-bit code.
wine_pkgs=(wine wine64)
if [ "${TV_WITH_WINE32:-auto}" != no ] && [ "$(uname -m)" = x86_64 ] && can_run_32bit; then
  wine_pkgs+=(wine32:i386)
fi

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
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
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
