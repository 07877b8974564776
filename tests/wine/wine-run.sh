#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest and scripts: one prefix per build
# tree, created once and reused, a virtual display when there is none, Chinese
# locale. A 64-bit program runs on the 64-bit loader directly; a 32-bit one needs
# a machine that can execute 32-bit code.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]
set -u
prog=$1; shift
find_build_dir() {
  local d
  d=$(cd "$(dirname "$prog")" && pwd)
  while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  [ "$d" = / ] && d=$(cd "$(dirname "$prog")" && pwd)
  echo "$d"
}
build_dir=${TV_WINE_BUILD_DIR:-$(find_build_dir)}
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
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
      "$loader" wineboot -i >/dev/null 2>&1
      WINEPREFIX=$WINEPREFIX wineserver -w
    fi
  ) 9>"$build_dir/.wineprefix.lock"
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$loader" "$prog" "$@"
fi
exec "$loader" "$prog" "$@"
