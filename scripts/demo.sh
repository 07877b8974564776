#!/usr/bin/env bash
# The README's main command: sets the machine up, builds the maker and the
# installer stub, makes the demo installer from samples/demo/manifest.toml and runs
# it under Wine. With a DISPLAY the real dialogs open for you; without one the
# installer runs in a virtual display, driven through both dialogs by our UI
# driver, and the installed tree and the screenshots are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=${TV_JOBS:-2}

build() {  # preset targets...
  local preset=$1; shift
  echo "=== $preset: configure and build $*"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target "$@"
}

# The stub: the shipped 32-bit one where 32-bit programs run, else the same code
# built for 64-bit Windows (some kernel sandboxes run 64-bit code only).
build native talvenor-pack
build win32 talvenor-setup
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  preset=win32
  echo "demo: 32-bit programs run here: using the 32-bit stub"
else
  preset=win64
  echo "demo: 32-bit programs cannot run here: using the 64-bit build of the stub"
fi
# The demo package laid out by that build: samples/demo's manifest and files with the
# freshly built Talvenor.exe, in build/$preset/demo-package.
targets=(talvenor-setup demo-package)
if [ -z "${DISPLAY:-}" ]; then targets+=(talvenor-ui-driver); fi
build "$preset" "${targets[@]}"

mkdir -p build/demo
installer=build/demo/talvenor-setup-demo.exe
build/native/talvenor-pack build "build/$preset/demo-package/manifest.toml" -o "$installer" \
  --stub "build/$preset/talvenor-setup.exe"
ls -l "build/win32/talvenor-setup.exe" "$installer"

exec python3 tests/e2e/run_demo.py --installer "$installer" --prefix "build/$preset/wineprefix" \
  --out build/demo --driver "build/$preset/talvenor-ui-driver.exe"
