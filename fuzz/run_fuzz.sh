#!/usr/bin/env bash
# Runs one fuzz target for a bounded time on a copy of its seed corpus.
# Usage: run_fuzz.sh TARGET SEED_DIR SECONDS
set -euo pipefail
target=$1 seeds=$2 seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
[ -d "$seeds" ] && cp -r "$seeds"/. "$work/corpus/" 2>/dev/null || true
cd "$work"
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" corpus 2>&1 | tail -n 25
status=${PIPESTATUS[0]}
if ls "$work/artifacts"/* >/dev/null 2>&1; then
  echo "finding kept in: $(ls "$work/artifacts")"
  mkdir -p "$(dirname "$seeds")/../findings" && cp "$work/artifacts"/* "$(dirname "$seeds")/../findings/" || true
fi
exit "$status"
