#!/usr/bin/env bash
# Builds the tool and starts it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
export BUILD_DIR=${BUILD_DIR:-build}
# A prefix of its own: the tests' prefix runs everything in a virtual desktop.
export WINEPREFIX=${WINEPREFIX:-$PWD/$BUILD_DIR/wineprefix-run}
. tools/xvfb.sh
trap keel_cleanup EXIT
wine "$BUILD_DIR/adbtool.exe"
