#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own, as a Windows user meets
# it: a silent install (/S, adbctl put on PATH), the Start-menu entries'
# targets and arguments, a start through 应用管理 that opens the package
# manager, a silent uninstall that keeps the record of actions and the
# copies of deleted apps and leaves what the owner put beside the program;
# then one with /REMOVEDATA that takes them. Usage: installer_check.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
src=$(cd "$(dirname "$0")/.." && pwd)
scratch=$build/tests/installer
rm -rf "$scratch"
mkdir -p "$scratch"
bash "$src/tools/package.sh" "$build" "$scratch/out" >/dev/null

export WINEPREFIX=$scratch/prefix WINEARCH=win32 WINEDEBUG=-all
# No menu entries on the Linux desktop, no .NET or Gecko installers.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
unset KEEL_VIRTUAL_DESKTOP
finish() {
    wineserver -k 2>/dev/null || true
    [ "${failed:-1}" = 0 ] && rm -rf "$scratch"
}
trap finish EXIT
fail() {
    echo "installer: $*"
    failed=1
    exit 1
}
wineboot -i >/dev/null 2>&1 </dev/null
win() { wine "$@" 2>/dev/null </dev/null | tr -d '\r'; }
unix() { winepath -u "$1" 2>/dev/null; }

local_app=$(win cmd /c echo %LOCALAPPDATA%)
app_data=$(win cmd /c echo %APPDATA%)
install="$local_app\\Programs\\adbtool"
menu="$app_data\\Microsoft\\Windows\\Start Menu\\Programs\\adbtool"
install_u=$(unix "$install")
data_u=$(unix "$local_app\\adbtool")
menu_u=$(unix "$menu")

wine "$scratch/out/adbtool-setup.exe" /S /ADDTOPATH </dev/null 2>/dev/null || fail "the silent install failed"
for f in adbtool.exe adbctl.exe uninstall.exe README.txt adb_1.0.40/README.txt; do
    [ -f "$install_u/$f" ] || fail "$f is not in $install_u"
done
# Each entry starts the program in the installed folder, 应用管理 with --manager.
check_shortcut() {
    local got want
    got=$(win "$build/tests/shortcut.exe" "$menu\\$1")
    want=$(printf '%s\n%s' "$install\\adbtool.exe" "$2")
    [ "$got" = "$want" ] || fail "shortcut $1: got '$got', wanted '$want'"
}
check_shortcut adbtool.lnk ""
check_shortcut 应用管理.lnk "--manager"
[ -f "$menu_u/卸载 adbtool.lnk" ] || fail "no uninstall entry in the Start menu"
win reg query 'HKCU\Environment' /v Path | grep -qiF "$install" || fail "adbctl's folder is not on PATH"
win reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\adbtool' /v UninstallString |
    grep -qiF "uninstall.exe" || fail "no entry in Apps and Features"

# 应用管理 opens the package manager, which lists the phones at once: the
# simulated adb put where the owner puts Google's logs the listing.
cp "$build/adb_1.0.40/adb.exe" "$install_u/adb_1.0.40/adb.exe"
printf 'platform-tools 34.0.5\nconnect-ms 0\ndevice SER1 device product:p model:M device:d\npackage com.a enabled third-party\n' \
    > "$install_u/adb_1.0.40/adb_state.txt"
wine start "$menu\\应用管理.lnk" </dev/null >/dev/null 2>&1 &
for _ in $(seq 600); do
    grep -q "devices -l" "$install_u/adb_1.0.40/adb_log.txt" 2>/dev/null && break
    sleep 0.1
done
grep -q "devices -l" "$install_u/adb_1.0.40/adb_log.txt" 2>/dev/null || fail "应用管理 did not open the package manager"
wineserver -k 2>/dev/null || true
wait || true

# The record and a copied APK stay; so does what the owner put beside the program.
mkdir -p "$data_u/apks"
echo "a line of the record" > "$data_u/actions.log"
echo "apk" > "$data_u/apks/com.a.apk"
uninstall() {
    wine "$install\\uninstall.exe" "$@" </dev/null 2>/dev/null || fail "the silent uninstall failed"
    # The uninstaller runs from a copy of itself in the temporary folder.
    wineserver -w
}
uninstall /S
for f in adbtool.exe adbctl.exe uninstall.exe README.txt adb_1.0.40/adb.exe; do
    [ ! -e "$install_u/$f" ] || fail "$f is still there after the uninstall"
done
[ -f "$install_u/adb_1.0.40/adb_state.txt" ] || fail "the uninstall took a file it did not install"
[ ! -e "$menu_u" ] || fail "the Start-menu entries are still there"
[ -f "$data_u/actions.log" ] || fail "the uninstall took the record of actions"
[ -f "$data_u/apks/com.a.apk" ] || fail "the uninstall took the copied APKs"
! win reg query 'HKCU\Environment' /v Path | grep -qiF "$install" || fail "adbctl's folder is still on PATH"
! win reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\adbtool' >/dev/null 2>&1 ||
    fail "the uninstall entry is still there"

# Ticked (here /REMOVEDATA), they go too.
wine "$scratch/out/adbtool-setup.exe" /S </dev/null 2>/dev/null || fail "the second install failed"
uninstall /S /REMOVEDATA
[ ! -e "$data_u" ] || fail "/REMOVEDATA left $(ls -R "$data_u")"
failed=0
echo "installer: silent install, shortcuts, 应用管理, PATH, and both uninstalls as expected"
