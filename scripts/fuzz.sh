#!/usr/bin/env bash
# Fuzzes every target (or the targets named) for MINUTES each, one target per core at a
# time, on a corpus kept and grown outside the tree, and ends with a table of the runs. A
# finding fails it; it is kept in build/fuzz-findings/ with the command that reproduces it.
# Usage: scripts/fuzz.sh [--merge] [MINUTES] [TARGET...]    (MINUTES: default 10, may be 0.5)
#   --merge   afterwards, merge what adds coverage back into fuzz/corpus/TARGET
# The corpus of a target is $TV_FUZZ_CACHE/TARGET, by default
# ${XDG_CACHE_HOME:-~/.cache}/talvenor-fuzz/TARGET, seeded from fuzz/corpus/TARGET.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
usage() { sed -n 's/^# \{0,1\}//; 5,8p' "$0"; exit 2; }

merge=no minutes=10 targets=()
mapfile -t known < <(sed -n 's/^tv_fuzz_target(\([A-Za-z0-9_]*\).*/\1/p' fuzz/CMakeLists.txt)
for arg in "$@"; do
  case $arg in
    --merge) merge=yes ;;
    -h | --help) usage ;;
    [0-9]* | .[0-9]*)
      [[ $arg =~ ^([0-9]+|[0-9]*\.[0-9]+)$ ]] || usage
      minutes=$arg ;;
    *)
      [[ " ${known[*]} " == *" $arg "* ]] || { echo "fuzz.sh: no fuzz target $arg (the targets: ${known[*]})" >&2; exit 2; }
      targets+=("$arg") ;;
  esac
done
[ "${#targets[@]}" -gt 0 ] || targets=("${known[@]}")
seconds=$(awk -v m="$minutes" 'BEGIN { s = int(m * 60 + 0.5); print (s < 1 ? 1 : s) }')
cache=${TV_FUZZ_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/talvenor-fuzz}
logs=build/fuzz-logs
jobs=${TV_FUZZ_JOBS:-$(nproc)}

echo "=== fuzz: configure and build ${targets[*]}"
if [ ! -f build/fuzz/build.ninja ]; then cmake --preset fuzz >/dev/null || exit 1; fi
cmake --build --preset fuzz -j "${TV_JOBS:-2}" --target "${targets[@]}" || exit 1
rm -rf "$logs" && mkdir -p "$logs" "$cache"

# fuzz_one TARGET: runs the target (its output in $logs/TARGET.log, its time in
# $logs/TARGET.time) and, when it is clean and --merge was given, merges its corpus.
fuzz_one() {
  local target=$1 start status
  start=$(date +%s)
  fuzz/run_fuzz.sh "build/fuzz/fuzz/$target" "fuzz/corpus/$target" "$seconds" \
    "$cache/$target" > "$logs/$target.log" 2>&1
  status=$?
  echo $(($(date +%s) - start)) > "$logs/$target.time"
  echo "$target: $(tail -n 1 "$logs/$target.log")"
  [ "$status" -eq 0 ] && [ "$merge" = yes ] && merge_one "$target"
  return "$status"
}

# merge_one TARGET: libFuzzer's merge of the corpus into fuzz/corpus/TARGET; the number of
# units it added goes to $logs/TARGET.merged.
merge_one() {
  local target=$1 seeds=fuzz/corpus/$1 before
  mkdir -p "$seeds"
  before=$(find "$seeds" -type f | wc -l)
  if "build/fuzz/fuzz/$target" -merge=1 "$seeds" "$cache/$target" > "$logs/$target.merge.log" 2>&1; then
    echo "+$(($(find "$seeds" -type f | wc -l) - before))" > "$logs/$target.merged"
  else
    echo "failed (see $logs/$target.merge.log)" > "$logs/$target.merged"
  fi
}

echo "=== fuzz: ${targets[*]}: $seconds s each, $jobs at a time; corpus in $cache"
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  fuzz_one "$target" &
done
wait

# The table, from each run's last line ("result: runs=N cov=A->B ft=A->B units=A->B
# findings: ..."), in Markdown.
with_commas() { sed ':a; s/\([0-9]\)\([0-9]\{3\}\)\($\|,\)/\1,\2\3/; ta' <<<"$1"; }
failed=0
echo
echo "| target | time | runs | cov | ft | corpus units | findings |"
echo "|---|---|---|---|---|---|---|"
for target in "${targets[@]}"; do
  line=$(grep '^result: ' "$logs/$target.log" | tail -n 1)
  time=$(cat "$logs/$target.time" 2>/dev/null || echo 0)
  time="$((time / 60))m $((time % 60))s"
  if [[ $line =~ ^result:\ runs=([0-9]+)\ cov=([^ ]*)\ ft=([^ ]*)\ units=([^ ]*)\ findings:\ (.*)$ ]]; then
    m=("${BASH_REMATCH[@]}")
    echo "| $target | $time | $(with_commas "${m[1]}") | ${m[2]} | ${m[3]} | ${m[4]} | ${m[5]} |"
    [[ ${m[5]} == none* ]] || failed=1
  else
    echo "| $target | $time | - | - | - | - | no result (see $logs/$target.log) |"
    failed=1
  fi
done
echo
if [ "$merge" = yes ]; then
  for target in "${targets[@]}"; do
    echo "merged into fuzz/corpus/$target: $(cat "$logs/$target.merged" 2>/dev/null || echo 'not merged (the run was not clean)')"
  done
fi
for target in "${targets[@]}"; do grep '^reproduce with: ' "$logs/$target.log"; done
[ "$failed" -eq 0 ] || echo "fuzz: FAILED: findings kept in ${TV_FUZZ_FINDINGS:-build/fuzz-findings}/" \
  "(TARGET-KIND-HASH, with its .log and .reproduce); the runs' output in $logs/"
exit "$failed"
