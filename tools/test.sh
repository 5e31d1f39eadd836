#!/usr/bin/env bash
# Builds everything and runs every test under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
export BUILD_DIR=${BUILD_DIR:-build} KEEL_VIRTUAL_DESKTOP=1
. tools/xvfb.sh
trap keel_cleanup EXIT
ctest --test-dir "$BUILD_DIR" --output-on-failure "$@"
