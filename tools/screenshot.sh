#!/usr/bin/env bash
# Photographs the tool on a virtual display: the foreground app read into the
# package box and the device list in the log (tools/showcase.cpp sets it up),
# cropped to the window. Usage: tools/screenshot.sh [output.png] [letter]
# (the README's picture: tools/screenshot.sh docs/screenshot.png). With a
# letter, the item of the tool's system menu with that mnemonic is chosen
# next (p: 应用管理, the package manager window) and the whole desktop is saved.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshot.png}")
letter=${2:-}
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
if [ -n "$letter" ]; then
    (cd "$BUILD_DIR" && wine sysmenu.exe "$letter" >/dev/null 2>&1 </dev/null)
    sleep 3
    xwd -root -silent | convert xwd:- "$out"
    echo "screenshot: $out"
else
    xwd -root -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$out"
    echo "screenshot: $out (${w}x${h})"
fi
