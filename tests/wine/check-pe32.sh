#!/usr/bin/env bash
# Checks that every given program is a 32-bit Windows executable for Intel 80386.
set -u
bad=0
for f in "$@"; do
  out=$(file -b "$f")
  case "$out" in
    PE32\ executable*Intel\ 80386*) echo "ok   $f: $out" ;;
    *) echo "FAIL $f: $out"; bad=1 ;;
  esac
done
echo "$# checked"
exit $bad
