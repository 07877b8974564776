#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12 machine.
# Safe to run more than once: it only installs what is missing.
set -euo pipefail

need_root() { if [ "$(id -u)" -ne 0 ]; then echo "sudo"; fi; }
SUDO=$(need_root)

pkgs=(
  build-essential cmake ninja-build pkg-config git file
  zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
  libtomlplusplus-dev libcli11-dev
  clang libclang-rt-14-dev llvm
  g++-mingw-w64-i686 libz-mingw-w64-dev binutils-mingw-w64-i686
  xvfb xauth x11-utils imagemagick fonts-wqy-microhei locales
  valgrind time
)
wine_pkgs=(wine wine32:i386)

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
