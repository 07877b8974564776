#!/bin/bash
# The session is the maker's only door into the installer: no file of the maker outside
# tools/pack/session includes the installer's install/, actions/, variables/ or
# platform/ headers (the portable base/ and the package format package/ are shared).
# usage: door_test.sh PACK_DIR [PASSED...]  (PASSED: folders below PACK_DIR let be for now)
set -u
pack=$1
shift
pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](install|actions|variables|platform)/'
# The pattern finds the session's own includes, or it would find nothing anywhere.
if ! grep -rqE "$pattern" "$pack/session"; then
  echo "door_test: the session includes no installer header: the pattern finds nothing"
  exit 1
fi
excluded=(--exclude-dir=session)
for passed in "$@"; do excluded+=("--exclude-dir=$passed"); done
found=$(grep -rnE "$pattern" "$pack" "${excluded[@]}" --include='*.h' --include='*.cpp')
if [ -n "$found" ]; then
  echo "$found" | sed "s|^$pack/||; s|\$|: goes past the session into the installer|"
  exit 1
fi
echo "door_test: outside session/${*:+ (and $*)}, the maker reaches the installer through the session only"
