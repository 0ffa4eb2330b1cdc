#!/usr/bin/env bash
# Start-up time (process start to main window mapped) and resident memory
# 5 s later, for Zentick and for a minimal Qt 6 Widgets program, in the same
# X server. Targets: within 1.3 times the minimal start time and 5 MiB of its
# memory. Usage: bench/startup.sh [BUILD_DIR]
set -euo pipefail

build_dir=$(realpath "${1:-build}")
runs=${ZENTICK_STARTUP_RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Zentick in a folder of its own with its settings in place, so no notice
# stands between start and window.
cp "$build_dir/app/zentick" "$work/zentick"
printf '5,0,#07:00:00#,2\r\n' > "$work/Zentick.ini"

measure() {  # program title -> "median_ms median_kib"
    for _ in $(seq "$runs"); do
        "$build_dir/bench/startup_probe" "$1" "$2"
    done | sort -n | awk '{ ms[NR] = $1; kib[NR] = $2 } END { m = int((NR + 1) / 2); print ms[m], kib[m] }'
}

# One X server of our own for both programs.
exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
read -r -t 10 -u "$displayfd" display_number
export DISPLAY=":$display_number"

read -r zt_ms zt_kib < <(measure "$work/zentick" "ぽるたんの世界時計")
read -r min_ms min_kib < <(measure "$build_dir/bench/minimal_label" "Minimal")
echo "Zentick: start ${zt_ms} ms, memory $((zt_kib / 1024)) MiB ($zt_kib KiB)"
echo "Minimal Qt program: start ${min_ms} ms, memory $((min_kib / 1024)) MiB ($min_kib KiB)"
awk -v a="$zt_ms" -v b="$min_ms" -v x="$zt_kib" -v y="$min_kib" 'BEGIN {
    printf "Start-up ratio %.2f (target 1.30 or less); extra memory %.1f MiB (target 5 or less)\n", a / b, (x - y) / 1024 }'
