#!/usr/bin/env bash
# Builds the tool and starts it under Wine with the simulated device: adb.exe
# of our own in adb_1.0.40 beside the tool, its phone (a copy of
# tests/profiles/current-phone.txt) kept between runs in ~/.local/state/adbtool.
# Without a display it starts a virtual one, takes a screenshot and says where
# it is. The phone serves an APK for every package, labelled as the app is
# called on a Chinese phone (tools/make_phone_apks.py, built once into the
# state folder), so the tool shows app names; RUN_APKS=0 serves none.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
export BUILD_DIR=${BUILD_DIR:-build}
# A prefix of its own: the tests' prefix runs everything in a virtual desktop.
export WINEPREFIX=${WINEPREFIX:-$PWD/$BUILD_DIR/wineprefix-run}

stage=$PWD/$BUILD_DIR/run
mkdir -p "$stage/adb_1.0.40"
cp "$BUILD_DIR/adbtool.exe" "$BUILD_DIR/findstr.exe" "$stage/"
cp "$BUILD_DIR/adb_1.0.40/adb.exe" "$stage/adb_1.0.40/"

state_dir=${XDG_STATE_HOME:-$HOME/.local/state}/adbtool
mkdir -p "$state_dir"
# The current phone: Android 14 with 300+ packages. Its package states
# change as the tool acts and stay between runs; delete the file to start over.
[ -f "$state_dir/adb_state.txt" ] || cp tests/profiles/current-phone.txt "$state_dir/adb_state.txt"

. tools/winpath.sh
# APK files at the phone's package paths (adbsim.cpp's apk-dir), built from
# the profile the phone started as; a rebuild only when it or the names change.
sed -i '/^apk-dir /d' "$state_dir/adb_state.txt"
if [ "${RUN_APKS:-1}" != 0 ]; then
    python3 tools/make_phone_apks.py tests/profiles/current-phone.txt "$state_dir/apks"
    echo "apk-dir $(windows_path "$state_dir/apks")" >>"$state_dir/adb_state.txt"
fi

# Nothing may start Wine before the display is up: a Wine session started
# without one keeps failing every window. For the same reason a server of
# this prefix left over from an earlier run (its display gone) is ended.
headless=
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    wineserver -k 2>/dev/null || true
fi
. tools/xvfb.sh
trap keel_cleanup EXIT
export ADBSIM_STATE=$(windows_path "$state_dir/adb_state.txt")
export ADBSIM_LOG=$(windows_path "$state_dir/adb_log.txt")
echo "simulated device state: $state_dir/adb_state.txt"
cd "$stage"
if [ -z "$headless" ]; then
    wine adbtool.exe
    exit
fi

# Headless: wait for the tool's window (a new prefix on a busy machine takes
# many seconds; two minutes at most), photograph it and check that the
# picture holds it.
err=$stage/adbtool-stderr.txt
wine adbtool.exe >/dev/null 2>"$err" </dev/null &
tool=$!
window=
for _ in $(seq 240); do
    window=$(xwininfo -root -tree 2>/dev/null | grep '("adbtool.exe" "adbtool.exe")  [0-9][0-9][0-9]' |
             awk '{ print $1 }' | while read -r id; do
                 xwininfo -id "$id" 2>/dev/null | grep -q IsViewable && { echo "$id"; break; }
             done) || true
    [ -n "$window" ] && break
    if ! kill -0 "$tool" 2>/dev/null; then
        status=0
        wait "$tool" || status=$?
        echo "run: the tool ended (exit status $status) before its window showed:" >&2
        grep -v ':err:\|:fixme:\|^wine: ' "$err" | tr -d '\r' | sed '/^$/d; s/^/    /' >&2 || true
        exit 1
    fi
    sleep 0.5
done
if [ -z "$window" ]; then
    echo "run: the tool's window did not show within two minutes" >&2
    exit 1
fi
sleep 1
geometry() { xwininfo -id "$window" | sed -n "s/^ *$1: *\(-\?[0-9]*\).*/\1/p"; }
x=$(geometry 'Absolute upper-left X') y=$(geometry 'Absolute upper-left Y')
w=$(geometry Width) h=$(geometry Height)
shot=$(realpath -m "../screenshot-run.png")
xwd -root -silent | convert xwd:- "$shot"
# A window that failed to draw leaves its rectangle one flat colour.
colours=$(convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage -format %k info:)
if [ "${colours:-0}" -lt 16 ]; then
    echo "run: the window at ${w}x${h}+${x}+${y} is blank in the picture ($colours colours): $shot" >&2
    exit 1
fi
echo "no display: the tool ran on a virtual one; screenshot of its ${w}x${h} window saved to $shot"
