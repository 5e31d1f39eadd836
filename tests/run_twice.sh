#!/usr/bin/env bash
# The README's run command twice in a row, without a display, as a new user
# runs it: each run must show the tool's window and photograph it (tools/run.sh
# checks that the picture holds the window). Its phone, state and Wine prefix
# are scratch ones. Usage: run_twice.sh BUILD_DIR
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath --relative-to="$src" "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for run in 1 2; do
    status=0
    out=$(cd "$src" && env -u DISPLAY -u KEEL_VIRTUAL_DESKTOP -u KEEL_WINEPREFIX XDG_STATE_HOME="$scratch" \
          WINEPREFIX="$src/$build/wineprefix-runtest" BUILD_DIR="$build" bash tools/run.sh 2>&1) || status=$?
    if [ "$status" != 0 ] || ! grep -q 'screenshot of its [0-9]*x[0-9]* window saved' <<<"$out"; then
        printf '%s\n' "$out" | tail -n 20
        echo "run $run of tools/run.sh failed (exit status $status)"
        exit 1
    fi
    echo "run $run: $(tail -n 1 <<<"$out")"
done
