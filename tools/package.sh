#!/usr/bin/env bash
# Lays out what a Windows user gets from a build, as a portable folder and
# zip and as an installer: package.sh BUILD_DIR OUT_DIR. OUT_DIR/adbtool/
# holds adbtool.exe and adbctl.exe without debug information, README.txt
# and adb_1.0.40\README.txt saying what goes there; OUT_DIR/adbtool.zip
# is that folder; OUT_DIR/adbtool-setup.exe installs it (tools/adbtool.nsi).
set -euo pipefail
build=$(realpath "$1")
out=$(mkdir -p "$2" && realpath "$2")
here=$(dirname "$(realpath "$0")")
stage=$out/adbtool
mkdir -p "$stage/adb_1.0.40"
i686-w64-mingw32-strip -o "$stage/adbtool.exe" "$build/adbtool.exe"
i686-w64-mingw32-strip -o "$stage/adbctl.exe" "$build/adbctl.exe"
# Notes for Windows' Notepad: UTF-8 with a byte-order mark, CR LF line ends.
note() { printf '\xef\xbb\xbf'; sed 's/$/\r/'; }
note > "$stage/README.txt" <<'NOTE'
adbtool: manage the apps on Android phones through adb.

Put Google's Android SDK platform-tools adb into adb_1.0.40 beside
adbtool.exe (from platform-tools-latest-windows.zip,
https://developer.android.com/tools/releases/platform-tools):

    adb.exe
    AdbWinApi.dll
    AdbWinUsbApi.dll

adbtool.exe opens the start-up window; "adbtool.exe --manager" opens the
package manager (应用管理) at once, "--device SERIAL" chooses the phone.
The installer's Start-menu entries do both.

adbctl.exe does what the package manager does from a command line or a
script, one line per phone and package; adbctl --help lists its commands,
options and exit codes. To debloat every attached phone from one list
(one package name a line), in a .bat file:

    "%~dp0adbctl.exe" disable --all --from "%~dp0debloat.txt" > "%~dp0result.txt"
    if errorlevel 1 echo Some packages were not disabled: see result.txt

本工具需要 Google 的 adb：从上面的网址下载 platform-tools（Windows 版），
把 adb.exe、AdbWinApi.dll 和 AdbWinUsbApi.dll 放进 adb_1.0.40 文件夹。
没有数据线时（Android 11 及以上），在应用管理的“设备”列表里选“无线连接…”。
NOTE
note > "$stage/adb_1.0.40/README.txt" <<'NOTE'
把 Google platform-tools（Windows 版）里的这三个文件放在这个文件夹里：
Put these three files of Google's platform-tools (Windows) into this folder:

    adb.exe
    AdbWinApi.dll
    AdbWinUsbApi.dll

https://developer.android.com/tools/releases/platform-tools
NOTE
rm -f "$out/adbtool.zip"
# Only what the tool ships: an adb someone put into the staging folder stays out.
(cd "$out" && zip -q -r -X adbtool.zip adbtool -x 'adbtool/adb_1.0.40/*' && zip -q -X adbtool.zip adbtool/adb_1.0.40/README.txt)
makensis -V2 -INPUTCHARSET UTF8 -DSOURCE="$stage" -DOUTFILE="$out/adbtool-setup.exe" "$here/adbtool.nsi"
