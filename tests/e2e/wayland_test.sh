#!/usr/bin/env bash
# The real zentick natively on Wayland: a headless weston of its own, the
# program on Qt's Wayland platform (no fallback), its main window asked for
# and configured by the compositor, ticking, and closed by the session's
# request (SIGTERM), which saves the settings as closing the window does.
# Usage: wayland_test.sh ZENTICK LIBFAKETIME
set -euo pipefail

program=$1
faketime=$2
work=$(mktemp -d)
runtime="$work/runtime"
mkdir -m 700 "$runtime"
weston_pid=""
zentick_pid=""
cleanup() {
    [ -n "$zentick_pid" ] && kill -KILL "$zentick_pid" 2>/dev/null || true
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null && wait "$weston_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; echo "--- the program said:" >&2; grep -v '^\[' "$work/zentick.log" | tail -20 >&2 || true; exit 1; }

export XDG_RUNTIME_DIR=$runtime
socket=zentick-test
# A desktop shell, which places windows itself; the pixman renderer, so the
# headless output really draws and answers frame callbacks.
weston --backend=headless-backend.so --use-pixman --socket="$socket" --width=1280 --height=800 --idle-time=0 \
    >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do [ -S "$runtime/$socket" ] && break; sleep 0.05; done
[ -S "$runtime/$socket" ] || { cat "$work/weston.log" >&2; fail "weston did not start"; }

mkdir "$work/app"
cp "$program" "$work/app/zentick"
printf '5,0,#07:00:00#,2' >"$work/app/Zentick.ini"  # a hand edit without the line end: the save adds it

# The clock starts two seconds before a new minute, so the first tick has a
# new time to draw.
WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
    LD_PRELOAD=$faketime FAKETIME="@2026-12-08 06:59:58" FAKETIME_DONT_FAKE_MONOTONIC=1 NO_FAKE_STAT=1 \
    ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 \
    "$work/app/zentick" >"$work/zentick.log" 2>&1 &
zentick_pid=$!

# The protocol as the program speaks it: a toplevel titled with the
# caption, configured by the compositor, and drawn.
shown=no
for _ in $(seq 600); do
    if grep -q 'xdg_toplevel@[0-9]*\.set_title("ぽるたんの世界時計")' "$work/zentick.log" &&
       grep -q 'xdg_surface@[0-9]*\.configure(' "$work/zentick.log" &&
       grep -q 'xdg_surface@[0-9]*\.ack_configure(' "$work/zentick.log"; then
        shown=yes
        break
    fi
    kill -0 "$zentick_pid" 2>/dev/null || fail "the program ended on its own"
    sleep 0.05
done
[ "$shown" = yes ] || fail "no main window was configured by the compositor"
grep -q 'xdg_toplevel@[0-9]*\.set_app_id("zentick")' "$work/zentick.log" || fail "the window does not name its desktop entry"

# Through a tick: the new minute is drawn (a tick comes every 3 s; a loaded
# machine may be late).
commits=$(grep -c 'wl_surface@[0-9]*\.commit()' "$work/zentick.log")
drawn=no
for _ in $(seq 300); do
    kill -0 "$zentick_pid" 2>/dev/null || fail "the program ended on its own"
    if [ "$(grep -c 'wl_surface@[0-9]*\.commit()' "$work/zentick.log")" -gt "$commits" ]; then
        drawn=yes
        break
    fi
    sleep 0.05
done
[ "$drawn" = yes ] || fail "nothing was drawn within 15 s of the first frame"

kill -TERM "$zentick_pid"
status=0
wait "$zentick_pid" || status=$?
zentick_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status after the session's request"
printf '5,0,#07:00:00#,2\r\n' | cmp -s - "$work/app/Zentick.ini" ||
    fail "the settings were not saved: $(od -An -c "$work/app/Zentick.ini")"
echo "1 passed, 0 failed"
