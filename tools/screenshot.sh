#!/usr/bin/env bash
# Photographs the tool on a virtual display: the foreground app read into the
# package box and the device list in the log (tools/showcase.cpp sets it up),
# cropped to the window. Usage: tools/screenshot.sh [output.png] [letter]
# (the README's picture: tools/screenshot.sh docs/screenshot.png). With a
# letter, the phone is tests/profiles/current-phone.txt (369 apps), the item
# of the tool's system menu with that mnemonic is chosen next and the picture
# is cropped to the window it opens (the README's package manager:
# tools/screenshot.sh docs/manager.png p); that phone serves the APKs
# tools/make_phone_apks.py makes, so the list shows the apps' names.
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
. tools/winpath.sh
trap keel_cleanup EXIT
rect=$BUILD_DIR/tools/showcase.rect
rm -f "$rect"
phone=()
if [ -n "$letter" ]; then
    cmake --build "$BUILD_DIR" --target phone_apk_files -j2 >/dev/null
    profile=$BUILD_DIR/tools/screenshot-phone.txt
    { cat tests/profiles/current-phone.txt
      echo "apk-dir $(windows_path "$BUILD_DIR/tests/phone_apks")"; } >"$profile"
    phone=("$(windows_path "$profile")")
fi
wine "$BUILD_DIR/tools/showcase.exe" "${phone[@]}" >"$rect" 2>/dev/null </dev/null &
for _ in $(seq 600); do
    [ -s "$rect" ] && break
    kill -0 $! 2>/dev/null || { echo "screenshot: showcase.exe failed" >&2; exit 1; }
    sleep 0.1
done
read -r x y w h <"$rect"
if [ -n "$letter" ]; then
    opened=$PWD/$BUILD_DIR/tools/opened.rect
    (cd "$BUILD_DIR" && wine sysmenu.exe "$letter" >"$opened" 2>/dev/null </dev/null)
    [ -s "$opened" ] || { echo "screenshot: the menu item opened no window" >&2; exit 1; }
    read -r x y w h < <(tr -d '\r' <"$opened")
    # Time for the window's first work (the package manager reads the phone
    # and the apps' names).
    sleep 25
fi
xwd -root -silent | convert xwd:- -crop "${w}x${h}+${x}+${y}" +repage "$out"
echo "screenshot: $out (${w}x${h})"
