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

# APK files at the phone's package paths (adbsim.cpp's apk-dir), built from
# the profile the phone started as; a rebuild only when it or the names change.
sed -i '/^apk-dir /d' "$state_dir/adb_state.txt"
if [ "${RUN_APKS:-1}" != 0 ]; then
    python3 tools/make_phone_apks.py tests/profiles/current-phone.txt "$state_dir/apks"
    echo "apk-dir $(winepath -w "$state_dir/apks" 2>/dev/null)" >>"$state_dir/adb_state.txt"
fi

headless=
[ -z "${DISPLAY:-}" ] && headless=1
. tools/xvfb.sh
trap keel_cleanup EXIT
export ADBSIM_STATE=$(winepath -w "$state_dir/adb_state.txt" 2>/dev/null)
export ADBSIM_LOG=$(winepath -w "$state_dir/adb_log.txt" 2>/dev/null)
echo "simulated device state: $state_dir/adb_state.txt"
cd "$stage"
if [ -z "$headless" ]; then
    wine adbtool.exe
else
    wine adbtool.exe >/dev/null 2>&1 &
    # Until the tool's window shows (a new prefix on a busy machine takes
    # many seconds; a minute at most), then a moment to paint it.
    for _ in $(seq 120); do
        xwininfo -root -tree 2>/dev/null | grep '("adbtool.exe" "adbtool.exe")  [0-9][0-9][0-9]' |
            awk '{ print $1 }' | xargs -r -n1 xwininfo -id 2>/dev/null | grep -q IsViewable && break
        sleep 0.5
    done
    sleep 1
    shot=$(realpath -m "../screenshot-run.png")
    xwd -root -silent | convert xwd:- "$shot"
    echo "no display: the tool ran on a virtual one; screenshot saved to $shot"
fi
