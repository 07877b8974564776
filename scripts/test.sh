#!/usr/bin/env bash
# Sets up the machine (if needed), builds every preset and runs every test:
# native unit tests, the 32-bit Windows build (format checks, and its tests under
# Wine where 32-bit code can run), and the 64-bit Windows build's tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
status=0
for preset in native win32 win64; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
for preset in native win32 win64; do
  echo "=== $preset: tests"
  ctest --preset "$preset" || status=1
done
if [ -d build/fuzz ] || [ "${TV_FUZZ_SECONDS:-}" != "" ]; then :; fi
exit $status
