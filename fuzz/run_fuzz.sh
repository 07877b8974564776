#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a copy of its seed corpus. A finding
# fails the run and is kept in build/fuzz-findings/ to become a regression test.
# Usage: run_fuzz.sh TARGET SEED_DIR SECONDS
set -u
target=$1 seeds=$2 seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
[ -d "$seeds" ] && cp -r "$seeds"/. "$work/corpus/" 2>/dev/null
keep=$(cd "$(dirname "$target")" && pwd)/../../fuzz-findings
(cd "$work" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" corpus > "$work/log" 2>&1)
status=$?
tail -n 25 "$work/log"
if ls "$work/artifacts"/* >/dev/null 2>&1; then
  mkdir -p "$keep" && cp "$work/artifacts"/* "$keep/"
  echo "finding kept in $keep: $(ls "$work/artifacts")"
  status=1
fi
exit "$status"
