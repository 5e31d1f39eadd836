#!/usr/bin/env bash
# Builds the tool and starts it under Wine with the simulated device: adb.exe
# of our own in adb_1.0.40 beside the tool, its phone (a copy of
# tests/profiles/current-phone.txt) kept between runs in ~/.local/state/adbtool.
# Without a display it starts a virtual one, takes a screenshot and says where
# it is. RUN_APKS=1 lets the phone serve APK files (the readers' test APKs,
# framework-res.apk for `android`) so the tool can show app names.
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

# APK files at the phone's package paths (adbsim.cpp's apk-dir): every
# package gets one of the test APKs, linked under its name.
if [ -n "${RUN_APKS:-}" ]; then
    cmake --build "$BUILD_DIR" --target test_apk_files -j2 >/dev/null
    apks=$state_dir/apks
    mkdir -p "$apks"
    mapfile -t kinds < <(ls "$BUILD_DIR"/tests/apk/{locales,launcher,refs,icons,split_base,literal,locales_aapt2}.apk)
    n=0
    for name in $(sed -n 's/^package \([^ ]*\) .*/\1/p' "$state_dir/adb_state.txt"); do
        if [ "$name" = android ]; then
            ln -f /usr/share/android-framework-res/framework-res.apk "$apks/$name.apk" 2>/dev/null ||
                cp /usr/share/android-framework-res/framework-res.apk "$apks/$name.apk"
        else
            ln -f "${kinds[n % ${#kinds[@]}]}" "$apks/$name.apk"
            [ "$(basename "${kinds[n % ${#kinds[@]}]}")" = split_base.apk ] &&
                ln -f "$BUILD_DIR/tests/apk/split_config.zh.apk" "$apks/$name@split_config.zh.apk"
        fi
        n=$((n + 1))
    done
    grep -q '^apk-dir ' "$state_dir/adb_state.txt" ||
        echo "apk-dir $(winepath -w "$apks" 2>/dev/null)" >>"$state_dir/adb_state.txt"
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
    sleep 5
    shot=$(realpath -m "../screenshot-run.png")
    xwd -root -silent | convert xwd:- "$shot"
    echo "no display: the tool ran on a virtual one; screenshot saved to $shot"
fi
