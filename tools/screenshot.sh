#!/usr/bin/env bash
# Photographs the tool on a virtual display: the foreground app read into the
# package box and the device list in the log (tools/showcase.cpp sets it up),
# cropped to the window. Usage: tools/screenshot.sh [output.png]
# (the README's picture: tools/screenshot.sh docs/screenshot.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshot.png}")
bash tools/build.sh >/dev/null
export BUILD_DIR=${BUILD_DIR:-build}
# The tests' prefix: one virtual Wine desktop, which draws the window's frame
# as Windows would (a bare X display without a window manager draws none).
export KEEL_VIRTUAL_DESKTOP=1
unset DISPLAY
. tools/xvfb.sh
trap keel_cleanup EXIT
rect=$BUILD_DIR/tools/showcase.rect
rm -f "$rect"
wine "$BUILD_DIR/tools/showcase.exe" >"$rect" 2>/dev/null </dev/null &
for _ in $(seq 600); do
    [ -s "$rect" ] && break
    kill -0 $! 2>/dev/null || { echo "screenshot: showcase.exe failed" >&2; exit 1; }
    sleep 0.1
done
read -r x y w h <"$rect"
xwd -root -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "screenshot: $out (${w}x${h})"
