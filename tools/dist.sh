#!/usr/bin/env bash
# Builds the tool and lays out what Windows users get (tools/package.sh):
# dist/adbtool/ (adbtool.exe and adbctl.exe without debug information, an
# adb_1.0.40 folder for Google's adb and notes saying what goes there),
# dist/adbtool.zip of that folder to copy anywhere, and
# dist/adbtool-setup.exe, the installer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh >/dev/null
build=${BUILD_DIR:-build}
bash tools/package.sh "$build" dist
size() { stat -c %s "$1"; }
echo "dist: dist/adbtool/adbtool.exe ($(size dist/adbtool/adbtool.exe) bytes)," \
     "dist/adbtool/adbctl.exe ($(size dist/adbtool/adbctl.exe) bytes, target 409600)," \
     "dist/adbtool.zip ($(size dist/adbtool.zip) bytes), dist/adbtool-setup.exe ($(size dist/adbtool-setup.exe) bytes)"
