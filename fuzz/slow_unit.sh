# The rule for slow units, sourced by run_fuzz.sh. libFuzzer writes slow-unit-* for a unit
# that took at least slow_unit_seconds while fuzzing; on a busy machine that says more about
# the machine than about the code. So such a unit is run again alone, and it is a finding
# only when it still takes at least slow_unit_seconds then (or fails).
# shellcheck shell=bash

# The limit, in whole seconds: libFuzzer's own default for -report_slow_units, given to
# libFuzzer explicitly so that the run and the check alone use one number.
slow_unit_seconds=${TV_SLOW_UNIT_SECONDS:-10}

# slow_unit_alone TARGET FILE [OPTION...]: runs TARGET on FILE alone and prints its time
# ("84 ms"). Succeeds when the unit is no finding: it ran, in less than the limit.
slow_unit_alone() {
  local target=$1 file=$2 log ms status
  shift 2
  log=$("$target" "$@" "$file" 2>&1)
  status=$?
  ms=$(sed -n 's/^Executed .* in \([0-9]*\) ms$/\1/p' <<<"$log" | tail -n 1)
  if [ "$status" -ne 0 ] || [ -z "$ms" ]; then
    echo "failed alone (exit status $status)"
    return 1
  fi
  echo "$ms ms"
  [ "$ms" -lt $((slow_unit_seconds * 1000)) ]
}
