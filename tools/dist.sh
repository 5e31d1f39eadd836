#!/usr/bin/env bash
# Builds the tool and lays out what a Windows user copies: dist/adbtool.exe
# without debug information, an empty adb_1.0.40/ beside it for Google's adb,
# and dist/README.txt saying what goes there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh >/dev/null
build=${BUILD_DIR:-build}
# What is already in dist/adb_1.0.40 stays: it may be the user's adb.
mkdir -p dist/adb_1.0.40
i686-w64-mingw32-strip -o dist/adbtool.exe "$build/adbtool.exe"
i686-w64-mingw32-strip -o dist/adbctl.exe "$build/adbctl.exe"
# The note is for Windows' Notepad: CR LF line ends.
sed 's/$/\r/' > dist/README.txt <<'NOTE'
Copy this folder anywhere and put Google's Android SDK platform-tools adb
into adb_1.0.40 beside adbtool.exe:

    adb.exe
    AdbWinApi.dll
    AdbWinUsbApi.dll

(from platform-tools-latest-windows.zip, https://developer.android.com/tools/releases/platform-tools).
adbtool.exe runs adb_1.0.40\adb.exe from its own folder through cmd.exe.

To open the package manager (应用管理) at once, make a shortcut whose target is

    "<this folder>\adbtool.exe" --manager --device <serial>

(--device is optional: without it a lone phone is chosen, or you pick one).

adbctl.exe does what the package manager does from a command line or a
script, one line per phone and package; adbctl --help
lists its commands, options and exit codes. To debloat every attached phone
from one list (one package name a line), in a .bat file:

    "%~dp0adbctl.exe" disable --all --from "%~dp0debloat.txt" > "%~dp0result.txt"
    if errorlevel 1 echo Some packages were not disabled: see result.txt
NOTE
size() { stat -c %s "$1"; }
echo "dist: dist/adbtool.exe ($(size dist/adbtool.exe) bytes), dist/adbctl.exe ($(size dist/adbctl.exe) bytes," \
     "target 409600), dist/adb_1.0.40/, dist/README.txt"
