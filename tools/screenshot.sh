#!/usr/bin/env bash
# Starts the tool on a virtual display, waits, and saves a screenshot.
# Usage: tools/screenshot.sh [output.png] [seconds to wait] [system-menu letter]
# With a letter, the item of the tool's system menu with that mnemonic is
# chosen first (p: 应用管理, the package manager window).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshot.png}")
wait=${2:-4}
letter=${3:-}
export BUILD_DIR=${BUILD_DIR:-build}
export WINEPREFIX=${WINEPREFIX:-$PWD/$BUILD_DIR/wineprefix-run}
unset DISPLAY
. tools/xvfb.sh
trap keel_cleanup EXIT
(cd "$BUILD_DIR" && wine adbtool.exe >/dev/null 2>&1 &)
sleep "$wait"
if [ -n "$letter" ]; then
    (cd "$BUILD_DIR" && wine sysmenu.exe "$letter" >/dev/null 2>&1)
    sleep 2
fi
xwd -root -silent | convert xwd:- "$out"
wineserver -k 2>/dev/null || true
echo "screenshot: $out"
