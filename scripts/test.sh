#!/usr/bin/env bash
# Sets up the machine (if needed), builds every preset and runs every test:
# native unit tests, the 32-bit Windows build (format checks, and its tests under
# Wine where 32-bit code can run), the 64-bit Windows build's tests and end-to-end
# runs under Wine, and the unit tests plus a bounded run of every fuzz target with
# ASan and UBSan (TV_FUZZ_SECONDS each, default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
status=0
export TV_FUZZ_SECONDS=${TV_FUZZ_SECONDS:-30}
# Every preset is built before any test runs, so the native tests have the 32-bit stub
# that the Debian package carries: its test must run here, not skip.
export TV_PACKAGE_TEST=required
presets="native win32 win64 fuzz"
for preset in $presets; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
for preset in $presets; do
  echo "=== $preset: tests"
  ctest --preset "$preset" || status=1
done
exit $status
