#!/usr/bin/env bash
# Installs everything the build, the tests, the demo and the installer
# (nsis's makensis, zip for the portable copy) need on a bare Debian 12
# machine. Safe to run again: it does nothing that is already done. It prints a line per step; the package manager's own
# log goes to a file and is shown only when a step fails.
set -euo pipefail

need_pkgs=(g++-mingw-w64-i686 cmake make xvfb xauth wine wine32:i386 libboost1.81-dev
           googletest nlohmann-json3-dev locales fonts-wqy-microhei fonts-arphic-uming fonts-wine imagemagick x11-apps ccache
           libz-mingw-w64-dev aapt zipalign android-framework-res androguard nsis zip)

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${need_pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
log=$(mktemp -t adbtool-setup.XXXXXX)
trap 'rm -f "$log"' EXIT
# Runs a step quietly; on failure shows what it printed and stops.
step() {
    if ! "$@" >>"$log" 2>&1; then
        echo "setup: failed: $*" >&2
        tail -n 40 "$log" >&2
        exit 1
    fi
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${#missing[@]} packages: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        step sudo_ dpkg --add-architecture i386
    fi
    echo "setup: updating the package lists"
    step sudo_ apt-get update -q
    echo "setup: downloading and installing (a few minutes on a bare machine)"
    step sudo_ env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The Chinese locales: the ANSI code page under Wine follows LC_ALL.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$' || ! locale -a 2>/dev/null | grep -qi '^zh_CN\.gbk$'; then
    for l in 'zh_CN.UTF-8 UTF-8' 'zh_CN.GBK GBK'; do
        grep -qx "$l" /etc/locale.gen 2>/dev/null || echo "$l" | sudo_ tee -a /etc/locale.gen >/dev/null
    done
    echo "setup: generating the Chinese locales"
    step sudo_ locale-gen
fi

# The posix-thread flavour of the cross compiler (Boost.Regex needs std::mutex).
command -v i686-w64-mingw32-g++-posix >/dev/null

# The Wine prefixes are made where they are used, after the virtual display
# is up (tools/xvfb.sh): a Wine session started without a display fails
# every window it is asked for.
echo "setup: ready"
