#!/usr/bin/env bash
# Builds the tool and starts it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
export BUILD_DIR=${BUILD_DIR:-build}
. tools/xvfb.sh
trap keel_cleanup EXIT
wine "$BUILD_DIR/adbtool.exe"
