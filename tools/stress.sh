#!/usr/bin/env bash
# Runs the whole test suite (tools/test.sh) N times in a row while another
# process keeps one core busy, then says how many runs failed and which tests.
# Usage: tools/stress.sh [N=5] [arguments for ctest...]
# Each run's output is kept in build/stress/run-<i>.log.
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
shift || true
build=${BUILD_DIR:-build}
logs=$build/stress
mkdir -p "$logs"
rm -f "$logs"/run-*.log

# Build first, so no run is charged with it and a build error stops us here.
bash tools/build.sh >/dev/null || { echo "stress: the build failed"; exit 2; }

# One core kept busy for as long as the runs take.
( trap 'exit 0' TERM; while :; do :; done ) &
burner=$!
trap 'kill "$burner" 2>/dev/null' EXIT

failed_runs=0
declare -A failures=()
for i in $(seq "$runs"); do
    log=$logs/run-$i.log
    start=$(date +%s)
    if bash tools/test.sh "$@" >"$log" 2>&1; then
        result=passed
    else
        result=FAILED
        failed_runs=$((failed_runs + 1))
    fi
    # Failed test cases as the test programs name them; a program that ended
    # without naming one (a crash, a time-out) by its CTest name.
    names=$(grep -oE '^\[  FAILED  \] [A-Za-z0-9_]+\.[A-Za-z0-9_/]+' "$log" | awk '{print $4}' | sort -u)
    [ -z "$names" ] && names=$(sed -n '/The following tests FAILED:/,$p' "$log" |
                               grep -oE '^[[:space:]]*[0-9]+ - [^ ]+' | awk '{print $3}' | sort -u)
    for n in $names; do failures[$n]=$(( ${failures[$n]:-0} + 1 )); done
    echo "stress: run $i/$runs $result in $(( $(date +%s) - start )) s${names:+: $(echo $names)}"
done

echo "stress: $runs runs, $failed_runs failed (one core busy throughout; logs in $logs)"
for n in "${!failures[@]}"; do echo "stress:   $n failed in ${failures[$n]} of $runs runs"; done
[ "$failed_runs" -eq 0 ]
