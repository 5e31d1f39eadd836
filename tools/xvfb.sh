# Sourced: starts a virtual display unless one is set, and a persistent
# wineserver for the build's prefix; `keel_cleanup` stops what was started.
keel_started_xvfb=
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 140); do
        # Taken while the server its lock names lives; a dead one's socket
        # and lock are left over, and the new server replaces them.
        if [ -e /tmp/.X$n-lock ]; then
            kill -0 "$(tr -d ' \n' </tmp/.X$n-lock)" 2>/dev/null && continue
            rm -f /tmp/.X$n-lock /tmp/.X11-unix/X$n
        fi
        Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        keel_started_xvfb=$!
        export DISPLAY=:$n
        for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
        break
    done
    [ -n "$keel_started_xvfb" ] || echo "xvfb.sh: no free display between :90 and :140" >&2
fi
export WINEPREFIX=${WINEPREFIX:-$PWD/${BUILD_DIR:-build}/wineprefix} WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
export LC_ALL=zh_CN.UTF-8 KEEL_WINEPREFIX=$WINEPREFIX
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 </dev/null || true
# Tests run inside one virtual desktop: without a window manager, Wine waits
# two seconds for every top-level window it destroys on the X display. The
# setting must be in place before the first window of the session.
if [ -n "${KEEL_VIRTUAL_DESKTOP:-}" ] && ! grep -q 'Desktops' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null || true
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1 </dev/null || true
    wineserver -k 2>/dev/null || true
    for _ in $(seq 50); do grep -q 'Desktops' "$WINEPREFIX/user.reg" 2>/dev/null && break; sleep 0.1; done
fi
# SimSun as on Chinese Windows (before the first window of the session).
. "$(dirname "${BASH_SOURCE[0]}")/winefonts.sh"
# Start the server and Wine's own services detached from our output, or a
# pipe from a test would stay open until the server ends.
wineserver -p >/dev/null 2>&1 </dev/null || true
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
keel_cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$keel_started_xvfb" ] && kill "$keel_started_xvfb" 2>/dev/null || true
}
