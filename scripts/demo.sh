#!/usr/bin/env bash
# The README's main command: sets the machine up, builds the maker, the installer stub
# and the UI driver, makes the demo installer from samples/demo/manifest.toml and tries
# it with `talvenor-pack try`: under Wine in a throwaway prefix, driven through its
# dialogs (on your display when DISPLAY is set, else in a virtual one), checked against
# its package. The report lists the installed files and shortcuts and the screenshots.
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
build "$preset" talvenor-setup talvenor-ui-driver demo-package

mkdir -p build/demo
installer=build/demo/talvenor-setup-demo.exe
build/native/talvenor-pack build "build/$preset/demo-package/manifest.toml" -o "$installer" \
  --stub "build/$preset/talvenor-setup.exe"
ls -l "build/win32/talvenor-setup.exe" "$installer"

# The driver is found as try finds it: build/$preset/ of this checkout.
rm -rf build/demo/shots
exec build/native/talvenor-pack try "$installer" --screenshots build/demo/shots --json build/demo/try.json \
  --run --verbose
