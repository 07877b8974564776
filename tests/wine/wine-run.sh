#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest: one prefix per build tree, created
# once and reused, a virtual display when there is none, Chinese locale and fonts.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]
set -u
prog=$1; shift
build_dir=${TV_WINE_BUILD_DIR:-$(cd "$(dirname "$prog")" && while [ ! -f CMakeCache.txt ] && [ "$PWD" != / ]; do cd ..; done; pwd)}
export WINEPREFIX=${WINEPREFIX:-$build_dir/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
export WINEARCH=win32
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (flock 9; [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1; wineserver -w) 9>"$build_dir/.wineprefix.lock"
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" wine "$prog" "$@"
fi
exec wine "$prog" "$@"
