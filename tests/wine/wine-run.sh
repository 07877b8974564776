#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest and scripts: one prefix for every build
# tree of the checkout (build/wineprefix, which the end-to-end tests use too), made once
# by 64-bit Wine (it runs 32-bit and 64-bit programs) and reused, a virtual display when
# there is none, Chinese locale. A 64-bit program runs on the 64-bit loader directly; a
# 32-bit one needs a machine that can execute 32-bit code.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]
set -u
prog=$1; shift
shared=$(cd "$(dirname "$0")/../.." && pwd)/build
mkdir -p "$shared"
export WINEPREFIX=${WINEPREFIX:-$shared/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

# PE32+ (optional header magic 0x20b) runs on wine64.
loader=wine
magic=$(od -An -tx2 -j $(( $(od -An -tu4 -j 60 -N4 "$prog" | tr -d ' ') + 24 )) -N2 "$prog" | tr -d ' ')
if [ "$magic" = "020b" ] && [ -x /usr/lib/wine/wine64 ]; then
  loader=/usr/lib/wine/wine64
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      boot=$loader
      [ -x /usr/lib/wine/wine64 ] && boot=/usr/lib/wine/wine64
      "$boot" wineboot -i >/dev/null 2>&1
      WINEPREFIX=$WINEPREFIX wineserver -w
    fi
  ) 9>"$shared/.wineprefix.lock"
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$loader" "$prog" "$@"
fi
exec "$loader" "$prog" "$@"
