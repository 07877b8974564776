#!/usr/bin/env bash
# Runs one fuzz target for a bounded time. A finding fails the run and is kept in
# build/fuzz-findings/ (TV_FUZZ_FINDINGS) with the command that reproduces it, to become a
# regression test; a slow unit is a finding only when it is still slow alone (slow_unit.sh).
# Usage: run_fuzz.sh TARGET SEED_DIR SECONDS [CORPUS_DIR]
# The corpus is a temporary copy of the seeds, or CORPUS_DIR, seeded and grown in place.
# The last line sums the run up: "result: runs=N cov=A->B ft=A->B units=A->B findings: ...".
set -u
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=slow_unit.sh source-path=SCRIPTDIR
. "$here/slow_unit.sh"
target=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
seeds=$2 seconds=$3 corpus=${4:-}
name=$(basename "$target")
keep=${TV_FUZZ_FINDINGS:-$(dirname "$target")/../../fuzz-findings}
options=(-timeout=10 -rss_limit_mb=2048 -report_slow_units="$slow_unit_seconds")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/artifacts"
[ -n "$corpus" ] || corpus=$work/corpus
mkdir -p "$corpus"
[ -d "$seeds" ] && cp -rn "$seeds"/. "$corpus/" 2>/dev/null
units_before=$(find "$corpus" -type f | wc -l)

(cd "$work" && "$target" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$corpus" > "$work/log" 2>&1)
status=$?
tail -n 25 "$work/log"

# keep_finding ARTIFACT: copies a finding and the run's log to $keep and writes the command
# that reproduces it beside it.
keep_finding() {
  local kept command
  mkdir -p "$keep" && kept=$(cd "$keep" && pwd)/$name-$(basename "$1")
  cp "$1" "$kept" && cp "$work/log" "$kept.log"
  command=$(printf '%q ' "$target" "${options[@]}" "$kept")
  echo "${command% }" > "$kept.reproduce"
  echo "finding kept: $kept"
  echo "reproduce with: ${command% }"
}

# The artifacts: every one is a finding but a slow unit that is fast alone.
findings=() notes=()
for artifact in "$work/artifacts"/*; do
  [ -f "$artifact" ] || continue
  short=$(basename "$artifact" | sed 's/-\([0-9a-f]\{8\}\)[0-9a-f]*$/-\1/')
  case $(basename "$artifact") in
    slow-unit-*)
      if alone=$(slow_unit_alone "$target" "$artifact" "${options[@]}"); then
        echo "$short: $alone alone (limit $slow_unit_seconds s): not a finding"
        notes+=("$short $alone alone")
        continue
      fi
      echo "$short: still slow alone: $alone (limit $slow_unit_seconds s)"
      short="$short ($alone alone)" ;;
  esac
  keep_finding "$artifact"
  findings+=("$short")
done
if [ "$status" -ne 0 ] && [ "${#findings[@]}" -eq 0 ]; then
  echo "$name: libFuzzer ended with status $status and left nothing to keep"
  findings+=("exit status $status")
fi

# The sum-up, from libFuzzer's log: its first and last coverage and its final statistics.
coverage() {  # FIELD: the field's value in the INITED line and in the last line that has it
  local first last
  first=$(sed -n "s/.*INITED .*$1: \([0-9]*\) .*/\1/p" "$work/log" | head -n 1)
  last=$(sed -n "s/^#[0-9].* $1: \([0-9]*\) .*/\1/p" "$work/log" | tail -n 1)
  if [ -n "$first$last" ]; then echo "${first:-?}->${last:-?}"; else echo "-"; fi
}
runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\)/\1/p' "$work/log")
summary=$(IFS=';'; echo "${findings[*]:-none}${notes[*]:+;${notes[*]}}")
echo "result: runs=${runs:-0} cov=$(coverage cov) ft=$(coverage ft)" \
  "units=$units_before->$(find "$corpus" -type f | wc -l) findings: ${summary//;/; }"
[ "${#findings[@]}" -eq 0 ]
