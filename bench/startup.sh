#!/usr/bin/env bash
# Start-up: the time from the process's start to the first frame drawn into
# its main window, the CPU it used to get there, and its resident memory 5 s
# later, for Zentick, for a minimal Qt window with the same Japanese texts in
# the same fonts (the honest floor) and for a bare Qt 6 Widgets window, in
# the same X server, the three taking turns so that a busy moment of the
# machine falls on all alike. Medians of 25 starts each (ZENTICK_STARTUP_RUNS),
# and how many fonts the machine has (tools/dev bench installs a KDE
# desktop's). Targets: within 1.05 times the floor and 1.1 times the bare
# window.
# Usage: bench/startup.sh [BUILD_DIR]
set -euo pipefail

# A desktop session always has its session bus. Without one, every Qt
# program that starts here would have libdbus start a bus daemon of its own
# (dbus-launch --autolaunch) within the very start being measured.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    exec dbus-run-session -- "$0" "$@"
fi

build_dir=$(realpath "${1:-build}")
runs=${ZENTICK_STARTUP_RUNS:-25}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Zentick in a folder of its own with its settings in place, so no notice
# stands between start and window.
cp "$build_dir/app/zentick" "$work/zentick"
printf '5,0,#07:00:00#,2\r\n' > "$work/Zentick.ini"

median() {  # FILE COLUMN: the median of one column of the runs
    awk -v c="$2" '{ print $c }' "$1" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
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
for program in zentick japanese minimal; do
    printf '%s %s %s %s\n' "$program" "$(median "$work/$program.runs" 1)" "$(median "$work/$program.runs" 2)" \
        "$(median "$work/$program.runs" 3)"
done >"$work/medians"
awk -v runs="$runs" -v fonts="$(fc-list | wc -l)" '{ frame[$1] = $2; cpu[$1] = $3; kib[$1] = $4 } END {
    printf "Medians of %d interleaved starts each, among %d fonts: first frame, CPU to it, memory 5 s later\n", runs, fonts
    printf "  Zentick                             %6.1f ms  %6.1f ms CPU  %5.1f MiB\n", frame["zentick"], cpu["zentick"], kib["zentick"] / 1024
    printf "  same Japanese texts and fonts       %6.1f ms  %6.1f ms CPU  %5.1f MiB\n", frame["japanese"], cpu["japanese"], kib["japanese"] / 1024
    printf "  bare Qt window                      %6.1f ms  %6.1f ms CPU  %5.1f MiB\n", frame["minimal"], cpu["minimal"], kib["minimal"] / 1024
    printf "First frame %.2f x the same-text floor (target 1.05), %.2f x the bare window (target 1.10)\n", frame["zentick"] / frame["japanese"], frame["zentick"] / frame["minimal"]
    printf "CPU to it   %.2f x the same-text floor, %.2f x the bare window\n", cpu["zentick"] / cpu["japanese"], cpu["zentick"] / cpu["minimal"]
}' "$work/medians"
