#!/usr/bin/env bash
# Runs one fuzz program: replays its committed seeds (tests/fuzz/corpus/NAME)
# and kept findings (tests/fuzz/regressions/NAME), then fuzzes (with the
# dictionary tests/fuzz/NAME.dict where there is one) until SECONDS
# have passed (or --runs N executions), adding what it learns to WORK_DIR/corpus.
# Findings (crashes, sanitizer reports, broken invariants, leaks, time-outs,
# memory blow-ups) are written to a folder of the run under WORK_DIR. Prints
# one line: executions, seconds, coverage, features, corpus size, findings.
# Exits non-zero on a finding or when the program could not run.
# Usage: run_fuzz_target.sh [--fresh] [--runs N] PROGRAM NAME SECONDS WORK_DIR
# (--fresh empties WORK_DIR first.)
set -uo pipefail

fresh=0
runs=
while [ $# -gt 0 ]; do
  case "$1" in
    --fresh) fresh=1; shift ;;
    --runs) runs=$2; shift 2 ;;
    *) break ;;
  esac
done
if [ $# -ne 4 ]; then
  echo "usage: $0 [--fresh] [--runs N] PROGRAM NAME SECONDS WORK_DIR" >&2
  exit 2
fi
program=$1 name=$2 seconds=$3 work=$4

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
seeds=$here/corpus/$name
regressions=$here/regressions/$name
if [ ! -x "$program" ]; then
  echo "$name: the fuzz program $program is not built"
  exit 2
fi
if ! compgen -G "$seeds/*" >/dev/null; then
  echo "$name: no seed inputs in $seeds"
  exit 2
fi

[ $fresh -eq 1 ] && rm -rf "$work"
findings=$work/findings-$(date +%Y%m%d-%H%M%S)
mkdir -p "$work/corpus" "$findings"
log=$findings/fuzz.log
dirs=("$work/corpus" "$seeds")
[ -d "$regressions" ] && dirs+=("$regressions")

# Every input takes milliseconds, but a run at nice 19 on a busy machine can
# wait seconds for the processor, and the time-out counts wall time.
options=(-max_total_time="$seconds" -timeout=120 -rss_limit_mb=4096 -print_final_stats=1
  -artifact_prefix="$findings/")
[ -n "$runs" ] && options+=(-runs="$runs")
[ -f "$here/$name.dict" ] && options+=(-dict="$here/$name.dict")

started=$SECONDS
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
  "$program" "${options[@]}" "${dirs[@]}" >"$log" 2>&1
status=$?
elapsed=$((SECONDS - started))

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
[ -n "$executions" ] || executions=$(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
coverage=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$log" | tail -n 1)
read -r _ cov _ ft _ corp <<<"${coverage:-cov: ? ft: ? corp: ?}"
found=()
for artifact in "$findings"/crash-* "$findings"/leak-* "$findings"/timeout-* "$findings"/oom-*; do
  [ -e "$artifact" ] && found+=("$artifact")
done

printf '%s: %s executions in %d s, coverage %s edges, %s features, corpus %s inputs, %d findings\n' \
  "$name" "${executions:-0}" "$elapsed" "$cov" "$ft" "$corp" "${#found[@]}"
if [ ${#found[@]} -gt 0 ]; then
  for artifact in "${found[@]}"; do echo "  finding: $artifact (reproduce: $program $artifact)"; done
  grep -E -A 25 'ERROR: |runtime error|invariant broken|deadly signal' "$log" | head -n 60
  exit 1
fi
if [ $status -ne 0 ]; then
  echo "$name: the fuzz program exited with status $status without a finding; its log:"
  tail -n 30 "$log"
  exit 1
fi
exit 0
