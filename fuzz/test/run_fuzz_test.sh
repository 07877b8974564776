#!/usr/bin/env bash
# run_fuzz.sh's rules, on a target with planted findings: a crash fails the run and is kept
# with a command that reproduces it; a slow unit that is fast alone is listed with its time
# alone and passes; one that is still slow alone is a finding.
# Usage: run_fuzz_test.sh PLANTED_TARGET
set -u
target=$1
run_fuzz=$(cd "$(dirname "$0")/.." && pwd)/run_fuzz.sh
export TV_SLOW_UNIT_SECONDS=1  # the planted slow inputs take 1.5 s
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { printf '%s\n' "$out" "FAIL: seed \"$seed\": $*"; failures=$((failures + 1)); }

# seed | exit status | findings kept | the result line's findings | what reproducing prints
# (the last two are patterns)
cases=(
  "clean|0|0|none|"
  "crash|1|1|crash-????????|*deadly signal*"
  "slow|0|0|none; slow-unit-???????? [0-9]* ms alone|"
  "still slow|1|1|slow-unit-???????? ([0-9]* ms alone)|*Executed *slow-unit-* ms*"
)
# shellcheck disable=SC2053
for case in "${cases[@]}"; do
  IFS='|' read -r seed want_status want_kept want_findings want_reproduced <<<"$case"
  rm -rf "$work/seeds" "$work/kept" && mkdir "$work/seeds"
  printf '%s' "$seed" > "$work/seeds/seed"
  out=$(TV_FUZZ_FINDINGS=$work/kept "$run_fuzz" "$target" "$work/seeds" 2 2>&1)
  status=$?
  kept=$(find "$work/kept" -type f ! -name '*.log' ! -name '*.reproduce' 2>/dev/null)
  findings=$(sed -n 's/^result: .* findings: //p' <<<"$out")
  [ "$status" = "$want_status" ] || fail "exit status $status, not $want_status"
  [ "$(grep -c . <<<"$kept")" = "$want_kept" ] || fail "findings kept: [$kept], not $want_kept"
  [[ $findings == $want_findings ]] || fail "findings \"$findings\", not \"$want_findings\""
  for finding in $kept; do
    [[ $(bash "$finding.reproduce" 2>&1) == $want_reproduced ]] || fail "$finding.reproduce does not reproduce it"
  done
  echo "seed \"$seed\": findings: $findings"
done
[ "$failures" -eq 0 ]
