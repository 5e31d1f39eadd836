#!/usr/bin/env bash
# Builds and runs the runner's benchmarks under Wine and prints the figures
# with their targets. BUILD_DIR selects the build (default: build);
# BENCH_RAW=1 also prints the programs' own lines on stderr.
set -euo pipefail
cd "$(dirname "$0")/.."
export BUILD_DIR=${BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake >/dev/null
fi
cmake --build "$BUILD_DIR" --target bench_runner bench_app bench_device bench_manager bench_list bench_record adbsim -j2 >/dev/null
. tools/xvfb.sh
. tools/winpath.sh
trap keel_cleanup EXIT
bench=$BUILD_DIR/bench/bench_runner.exe

# The wine server of this prefix: the runner's system calls are partly its
# work, so the CPU figure counts it too. Its folder is named after the
# prefix's device and inode.
server_pid() {
    local want pid
    want=server-$(printf %x "$(stat -c %d "$WINEPREFIX")")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
    for pid in $(pgrep -f wineserver || true); do
        if [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$want" ]; then
            echo "$pid"
            return
        fi
    done
}

field() { tr '\t' '\n' <<<"$1" | sed -n "s/^$2=//p" | tr -d '\r'; }

cpu=$(timeout 120 wine "$bench" cpu "$(server_pid)" "bench-token-$$-$RANDOM")
[ -n "$(field "$cpu" own_pid)" ] || echo "warning: the program's own CPU time could not be read" >&2
capture=$(timeout 300 wine "$bench" capture 10)
capture1=$(timeout 300 wine "$bench" capture 1)
capture50=$(timeout 600 wine "$bench" capture 50)
latency=$(timeout 120 wine "$bench" latency)
[ -n "${BENCH_RAW:-}" ] && printf '%s\n' "$cpu" "$capture" "$latency" >&2

# The shipped program's size: the exe stripped as tools/dist.sh ships it.
stripped=$(mktemp)
i686-w64-mingw32-strip -o "$stripped" "$BUILD_DIR/adbtool.exe"
exe_kb=$(( $(stat -c %s "$stripped") / 1024 ))
rm -f "$stripped"

sum() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }
row() { printf '%-56s %-30s %s\n' "$1" "$2" "$3"; }
row "figure" "measured" "target"
row "adbtool.exe stripped" "$exe_kb KB" "<= 800 KB"
row "runner CPU / wall while a 3 s command runs" \
    "$(sum "$(field "$cpu" runner_self_pct)" "$(field "$cpu" runner_server_pct)") % of $(field "$cpu" runner_wall_s) s" "< 1 %"
row "  of which the program / the wine server" "$(field "$cpu" runner_self_pct) % / $(field "$cpu" runner_server_pct) %" ""
row "  the silent middle alone (1.0-2.8 s), program + server" \
    "$(sum "$(field "$cpu" wait_self_pct)" "$(field "$cpu" wait_server_pct)") %" "< 1 %"
row "  reference: wine server alone, nothing running" "$(field "$cpu" idle_server_pct) %" ""
row "  reference: busy polling loop, program + server" \
    "$(sum "$(field "$cpu" poll_self_pct)" "$(field "$cpu" poll_server_pct)") %" ""
row "10 MB capture, runner / plain blocking reader (median)" \
    "$(field "$capture" ratio) ($(field "$capture" runner_ms) / $(field "$capture" plain_ms) ms)" "<= 1.5"
row "1 / 50 MB capture, runner / plain blocking reader" \
    "$(field "$capture1" ratio) / $(field "$capture50" ratio)" "<= 1.5"
row "linearity: 50 MB runner time / 10 MB runner time" \
    "$(awk -v a="$(field "$capture50" runner_ms)" -v b="$(field "$capture" runner_ms)" 'BEGIN { printf "%.2f", a / b }')" "<= 5.5"
row "interpreter exit to runner return, median (max)" \
    "$(field "$latency" median_ms) ($(field "$latency" max_ms)) ms" "< 20 ms"

app=$BUILD_DIR/bench/bench_app.exe
startup=$(timeout 300 wine "$app" startup)
click=$(timeout 300 wine "$app" click)
memory=$(timeout 900 wine "$app" memory "${BENCH_MEMORY_MB:-50}")
closing=$(timeout 900 wine "$app" close)
[ -n "${BENCH_RAW:-}" ] && printf '%s\n' "$startup" "$click" "$memory" "$closing" >&2
row "start-up to the first painted window, tool / bare window (median of 11)" \
    "$(field "$startup" ratio) ($(field "$startup" tool_ms) / $(field "$startup" bare_ms) ms)" "<= 1.3"
row "click-to-log of 查看设备 minus the same command run directly (median of 25)" \
    "$(field "$click" overhead_ms) ms ($(field "$click" click_ms) / $(field "$click" direct_ms) ms)" "< 20 ms"
row "private memory: start / $(field "$memory" mb) MB shown / replaced" \
    "$(field "$memory" start_mb) / $(field "$memory" shown_mb) / $(field "$memory" replaced_mb) MB" "start <= 14.2; replaced within 2 MB of start"
row "close to exit with a hung command / idle, median of 5 (max)" \
    "$(field "$closing" hung_ms) / $(field "$closing" idle_ms) ms ($(field "$closing" max_hung_ms))" "< 1000 ms"

# The package manager on the current phone (Android 14) and on an Android 8.1
# phone, each with its profile's own latencies.
for phone in current-phone android8-phone; do
    device=$(timeout 900 wine "$BUILD_DIR/bench/bench_device.exe" "$(windows_path "tests/profiles/$phone.txt")")
    manager=$(timeout 900 wine "$BUILD_DIR/bench/bench_manager.exe" "$phone.txt")
    [ -n "${BENCH_RAW:-}" ] && printf '%s\n' "$device" "$manager" >&2
    row "$phone (API $(field "$device" api)): opening to the shown list / plain list + window alone" \
        "$(field "$manager" ratio) ($(field "$manager" manager_open_ms) / $(field "$manager" plain_list_ms) + $(field "$manager" window_alone_ms) ms)" "<= 1.3"
    row "  the read alone / one plain list" \
        "$(field "$device" read_ratio) ($(field "$device" read_ms) / $(field "$device" plain_ms) ms)" ""
    row "  batch of 100 disables; the phone's own work + one adb run + 5 ms each" \
        "$(field "$device" batch_ms) ms; $(field "$device" budget_ms) ms" "first <= second"
    row "  of which per package beyond the phone's own work" "$(field "$device" overhead_per_package_ms) ms" "<= 5 ms"
done

listout=$(timeout 600 wine "$BUILD_DIR/bench/bench_list.exe")
list=$(sed -n 2p <<<"$listout")
named=$(sed -n 4p <<<"$listout")
[ -n "${BENCH_RAW:-}" ] && printf '%s\n' "$listout" >&2
col() { cut -f"$1" <<<"$list" | tr -d '\r'; }
row "list repaint, ours / the system list with the same rows (median of 25)" \
    "$(col 9) ($(col 7) / $(col 8) ms)" "<= 1.2"
row "filter keystroke over 5,000 rows, median (worst)" "$(col 3) ($(col 4)) ms" ""
row "model filter over 5,000 rows with app names (pinyin) - without" \
    "$(cut -f4 <<<"$named" | tr -d '\r') ms ($(cut -f2 <<<"$named" | tr -d '\r') / $(cut -f3 <<<"$named" | tr -d '\r') ms)" "<= 2 ms"
names=$(timeout 900 wine "$BUILD_DIR/bench/bench_manager.exe" current-phone.txt names)
[ -n "${BENCH_RAW:-}" ] && printf '%s\n' "$names" >&2
row "opening with every app name cached / without names" \
    "$(field "$names" ratio) ($(field "$names" open_with_cached_names_ms) / $(field "$names" open_without_names_ms) ms)" "<= 1.1"
row "  rows named when the list is first shown" "$(field "$names" named_at_first_show) of $(field "$names" rows)" "all"

record=$(timeout 900 wine "$BUILD_DIR/bench/bench_record.exe")
[ -n "${BENCH_RAW:-}" ] && printf '%s\n' "$record" >&2
row "record of $(field "$record" before_mb) MB: first read, compacting / reading its bytes" \
    "$(field "$record" first_ratio) ($(field "$record" first_read_ms) / $(field "$record" raw_read_ms) ms), once" ""
row "  then $(field "$record" after_mb) MB kept; a read / the 100 MB bytes; undo's work" \
    "$(field "$record" read_ratio) ($(field "$record" read_ms) ms); $(field "$record" undo_ms) ms" "< 1"
