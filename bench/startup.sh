#!/usr/bin/env bash
# Start-up time (process start to main window mapped) and resident memory
# 5 s later, for Zentick, for a minimal Qt window with the same Japanese
# texts in the same fonts (the honest floor) and for a minimal Qt 6 Widgets
# program, in the same X server, the three taking turns so that a busy
# moment of the machine falls on all alike. Target: within 1.1 times the
# floor. Usage: bench/startup.sh [BUILD_DIR]
set -euo pipefail

build_dir=$(realpath "${1:-build}")
runs=${ZENTICK_STARTUP_RUNS:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Zentick in a folder of its own with its settings in place, so no notice
# stands between start and window.
cp "$build_dir/app/zentick" "$work/zentick"
printf '5,0,#07:00:00#,2\r\n' > "$work/Zentick.ini"

median() {  # file -> "median_ms median_kib"
    sort -n "$1" | awk '{ ms[NR] = $1; kib[NR] = $2 } END { m = int((NR + 1) / 2); print ms[m], kib[m] }'
}

# One X server of our own for both programs.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
read -r -t 10 -u "$displayfd" display_number
export DISPLAY=":$display_number"

for _ in $(seq "$runs"); do
    "$build_dir/bench/startup_probe" "$work/zentick" "ぽるたんの世界時計" >>"$work/zentick.runs" 2>/dev/null
    "$build_dir/bench/startup_probe" "$build_dir/bench/minimal_japanese" "Minimal Japanese" >>"$work/japanese.runs" 2>/dev/null
    "$build_dir/bench/startup_probe" "$build_dir/bench/minimal_label" "Minimal" >>"$work/minimal.runs" 2>/dev/null
done
read -r zt_ms zt_kib < <(median "$work/zentick.runs")
read -r jp_ms jp_kib < <(median "$work/japanese.runs")
read -r min_ms min_kib < <(median "$work/minimal.runs")
echo "Zentick: start ${zt_ms} ms, memory $((zt_kib / 1024)) MiB ($zt_kib KiB)"
echo "Minimal Qt window with the same Japanese texts and fonts: start ${jp_ms} ms, memory $((jp_kib / 1024)) MiB"
echo "Minimal Qt program: start ${min_ms} ms, memory $((min_kib / 1024)) MiB ($min_kib KiB)"
awk -v a="$zt_ms" -v j="$jp_ms" -v b="$min_ms" -v x="$zt_kib" -v y="$min_kib" 'BEGIN {
    printf "Start-up ratio %.2f against the Japanese floor (target 1.10 or less), %.2f against the plain minimal program; extra memory %.1f MiB\n", a / j, a / b, (x - y) / 1024 }'
