#!/usr/bin/env bash
# The real zentick on a Wayland desktop, closed at the end by the session's
# request (SIGTERM), which saves the settings as closing the window does.
# - weston (headless, its own): the program natively on Qt's Wayland
#   platform, its main window asked for and configured by the compositor,
#   and ticking.
# - mutter, GNOME's compositor (headless, on the session bus the caller
#   gives it, run under dbus-run-session): the program left to choose, as
#   in a GNOME session, goes to X11 through XWayland, where mutter draws the
#   title bar: the caption whole, no maximise button, the size the
#   compositor is told the size drawn; and at the alarm, the clock minimised,
#   the window asks for attention.
# - KWin, KDE Plasma's compositor (headless, on the session bus the caller
#   gives it), natively on Wayland (kwin) or through its XWayland
#   (kwin-xwayland): the title bar KWin draws, the whole caption, no
#   maximise or resize, the first-start notice and the settings dialog
#   placed over the clock, the alarm's request for attention and notice,
#   and a click on the notice bringing the clock back; read from KWin's own
#   view of its windows.
# Usage: wayland_test.sh weston|mutter|kwin|kwin-xwayland ZENTICK LIBFAKETIME APP_ID
set -euo pipefail

compositor=$1
program=$2
faketime=$3
app_id=$4
work=$(mktemp -d)
runtime="$work/runtime"
mkdir -m 700 "$runtime"
compositor_pid=""
zentick_pid=""
cleanup() {
    [ -n "$zentick_pid" ] && kill -KILL "$zentick_pid" 2>/dev/null || true
    [ -n "$compositor_pid" ] && kill "$compositor_pid" 2>/dev/null && wait "$compositor_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; echo "--- the program said:" >&2; grep -v '^\[' "$work/zentick.log" | tail -20 >&2 || true; exit 1; }

export XDG_RUNTIME_DIR=$runtime
# The caption is matched in what xwininfo and xprop print, which they
# print in the locale's characters: UTF-8, whatever the user's own. The
# clock runs on Japan time, whatever the machine's.
export LC_ALL=C.UTF-8 TZ=JST-9
socket=zentick-test
caption="ぽるたんの世界時計"
mkdir "$work/app"
cp "$program" "$work/app/zentick"
started() {  # started FAKE-TIME ENVIRONMENT...: the program, its clock set to FAKE-TIME
    local at=$1
    shift
    env "$@" LD_PRELOAD="$faketime" FAKETIME="@$at" FAKETIME_DONT_FAKE_MONOTONIC=1 NO_FAKE_STAT=1 \
        ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 "$work/app/zentick" >"$work/zentick.log" 2>&1 &
    zentick_pid=$!
}
while_running() {  # while_running SECONDS COMMAND...: until COMMAND succeeds, while the program runs
    local seconds=$1
    shift
    for _ in $(seq "$((seconds * 20))"); do
        "$@" && return 0
        kill -0 "$zentick_pid" 2>/dev/null || fail "the program ended on its own"
        sleep 0.05
    done
    return 1
}
ended_and_saved() {  # ended_and_saved LINE: SIGTERM ends the program, which saved LINE
    kill -TERM "$zentick_pid"
    local status=0
    wait "$zentick_pid" || status=$?
    zentick_pid=""
    [ "$status" -eq 0 ] || fail "the program ended with status $status after the session's request"
    printf '%s\r\n' "$1" | cmp -s - "$work/app/Zentick.ini" ||
        fail "the settings were not saved: $(od -An -c "$work/app/Zentick.ini")"
}

if [ "$compositor" = mutter ]; then
    # XWayland listens in /tmp/.X11-unix, and mutter ends at once if it may
    # not write there. The folder is made by the first X server on a machine
    # that has none yet; made by another user without the sticky world
    # write, it is theirs alone.
    [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || true
    if [ ! -w /tmp/.X11-unix ]; then
        echo "SKIPPED: /tmp/.X11-unix is not writable by $(id -un): XWayland cannot listen" >&2
        exit 77
    fi
    # What a GNOME session on Wayland tells its programs; XWayland starts
    # when the first X11 program connects.
    export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    mutter --headless --wayland --virtual-monitor 1024x768 --wayland-display="$socket" >"$work/mutter.log" 2>&1 &
    compositor_pid=$!
    for _ in $(seq 200); do grep -q 'Using public X11 display' "$work/mutter.log" && break; sleep 0.05; done
    display=$(sed -n 's/.*Using public X11 display \(:[0-9]*\),.*/\1/p' "$work/mutter.log")
    [ -n "$display" ] || { cat "$work/mutter.log" >&2; fail "mutter did not start"; }
    for _ in $(seq 100); do [ -S "$runtime/$socket" ] && break; sleep 0.05; done
    export DISPLAY=$display WAYLAND_DISPLAY=$socket
    XAUTHORITY=$(find "$runtime" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -1)
    export XAUTHORITY

    # The alarm at 7:00 as one beep; the clock starts 15 s before it.
    printf '5,0,#07:00:00#,0\r\n' >"$work/app/Zentick.ini"
    started "2026-12-08 06:59:45" WAYLAND_DEBUG=client
    window=""
    x11_window() {
        window=$(xwininfo -root -tree 2>/dev/null | awk -v name="\"$caption\":" '$2 == name && /"zentick"/ {print $1; exit}')
        [ -n "$window" ]
    }
    if ! while_running 15 x11_window; then
        if grep -q 'xdg_toplevel' "$work/zentick.log"; then
            fail "the program went to Wayland instead of XWayland ($(grep -m1 -i 'xcb' "$work/zentick.log" || echo "it gave no reason"))"
        fi
        echo "--- mutter said:" >&2
        tail -5 "$work/mutter.log" >&2
        fail "no window titled $caption within 15 s, neither through XWayland nor on Wayland"
    fi
    ! grep -q 'xdg_toplevel' "$work/zentick.log" || fail "the program drew its own title bar on Wayland"

    hints=$(xprop -id "$window" WM_NORMAL_HINTS _NET_WM_NAME _NET_WM_ALLOWED_ACTIONS)
    size=$(xwininfo -id "$window" | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w " by " h}')
    grep -q "minimum size: $size\$" <<<"$hints" && grep -q "maximum size: $size\$" <<<"$hints" ||
        fail "the window is $size but tells the compositor: $hints"
    grep -q "_NET_WM_NAME(UTF8_STRING) = \"$caption\"" <<<"$hints" || fail "the caption is not whole: $hints"
    ! grep -q -E 'MAXIMIZE|RESIZE' <<<"$hints" || fail "a fixed-size window may be maximised: $hints"
    for _ in $(seq 100); do xprop -id "$window" _NET_FRAME_EXTENTS | grep -q '= ' && break; sleep 0.05; done
    top=$(xprop -id "$window" _NET_FRAME_EXTENTS | awk -F', ' '{print $3}')
    [ "${top:-0}" -gt 0 ] || fail "mutter drew no title bar: $(xprop -id "$window" _NET_FRAME_EXTENTS)"

    # The alarm box checked (at its place in the window), then the clock
    # minimised, as by a user gone to other work.
    xdotool mousemove --window "$window" 140 18 click 1
    xdotool windowminimize "$window"
    asks_attention() { xprop -id "$window" _NET_WM_STATE | grep -q _NET_WM_STATE_DEMANDS_ATTENTION; }
    while_running 40 asks_attention || fail "no request for attention within 40 s of the start (the alarm is at 15 s)"
    ended_and_saved '5,0,#07:00:00#,0'
    echo "1 passed, 0 failed"
    exit 0
fi
if [ "$compositor" = kwin ] || [ "$compositor" = kwin-xwayland ]; then
    # KDE Plasma's compositor, headless, natively on Wayland or (through its
    # XWayland) on X11, on the session bus the caller gives it, with its
    # configuration in folders of the test's own. What a Plasma user sees is
    # read from KWin itself, through its scripting.
    export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache"
    export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    mkdir -p "$HOME"
    xwayland=()
    if [ "$compositor" = kwin-xwayland ]; then
        [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix 2>/dev/null || true
        [ -w /tmp/.X11-unix ] || { echo "SKIPPED: /tmp/.X11-unix is not writable by $(id -un)" >&2; exit 77; }
        xwayland=(--xwayland)
    fi
    # kwin_wayland carries a file capability, which a container refuses to
    # honour; a plain copy carries none, and then needs KWin's own platform.
    cp "$(command -v kwin_wayland)" "$work/kwin_wayland"
    KWIN_FORCE_OWN_QPA=1 "$work/kwin_wayland" --virtual --socket "$socket" --width 1024 --height 768 "${xwayland[@]}" \
        >"$work/kwin.log" 2>&1 &
    compositor_pid=$!
    for _ in $(seq 200); do [ -S "$runtime/$socket" ] && break; sleep 0.05; done
    [ -S "$runtime/$socket" ] || { cat "$work/kwin.log" >&2; fail "KWin did not start"; }
    for _ in $(seq 200); do gdbus introspect --session --dest org.kde.KWin --object-path /Scripting >/dev/null 2>&1 && break; sleep 0.05; done
    export WAYLAND_DISPLAY=$socket
    if [ "$compositor" = kwin-xwayland ]; then
        # KWin starts XWayland at once, as a child of its own, on a free display.
        display=""
        for _ in $(seq 200); do
            display=$(pgrep -a -P "$compositor_pid" Xwayland | awk '{print $3}') || true
            [ -n "$display" ] && [ -S "/tmp/.X11-unix/X${display#:}" ] && break
            sleep 0.05
        done
        [ -n "$display" ] || { tail -5 "$work/kwin.log" >&2; fail "KWin's XWayland did not start"; }
        export DISPLAY=$display QT_QPA_PLATFORM=xcb
    else
        export QT_QPA_PLATFORM=wayland
    fi
    # A stand-in for Plasma's notification service, which logs what it is asked.
    /usr/bin/python3 -m dbusmock --template notification_daemon --logfile "$work/notices.log" >/dev/null 2>&1 &
    notices_pid=$!
    trap 'kill "$notices_pid" 2>/dev/null; cleanup' EXIT
    atspi=$(cd "$(dirname "$0")/../support" && pwd)/atspi.py
    press() {
        /usr/bin/python3 "$atspi" press "$1" 2>>"$work/atspi.log" ||
        fail "$1 could not be pressed: $(tail -3 "$work/atspi.log")"
    }

    # KWin's view of its windows, a line each: caption=..|resizeable=..|...
    # Each script is loaded under a name of its own: a count kept in a file,
    # since the callers run in subshells.
    echo 0 >"$work/looks"
    kwin_script() {  # kwin_script NAME JAVASCRIPT: runs it inside KWin
        printf '%s\n' "$2" >"$work/$1.js"
        local id
        id=$(gdbus call --session --dest org.kde.KWin --object-path /Scripting \
            --method org.kde.kwin.Scripting.loadScript "$work/$1.js" "zentick-$1" | tr -dc '0-9-')
        [ "${id:--1}" != -1 ] || fail "KWin would not load a script"
        gdbus call --session --dest org.kde.KWin --object-path "/$id" --method org.kde.kwin.Script.run >/dev/null
    }
    windows() {
        local look
        look=$(($(cat "$work/looks") + 1))
        echo "$look" >"$work/looks"
        kwin_script "look$look" "var cs = workspace.clientList(); for (var i = 0; i < cs.length; ++i) {
            var c = cs[i]; var g = c.frameGeometry;
            print('look$look caption=' + c.caption + '|resizeable=' + c.resizeable + '|maximizable=' + c.maximizable
                  + '|decorated=' + !c.noBorder + '|x=' + g.x + '|y=' + g.y + '|w=' + g.width + '|h=' + g.height
                  + '|attention=' + c.demandsAttention + '|active=' + c.active + '|minimized=' + c.minimized + '|'); }"
        for _ in $(seq 20); do grep -q "look$look " "$work/kwin.log" && break; sleep 0.05; done
        sed -n "s/.*look$look //p" "$work/kwin.log"
    }
    window() { windows | grep "^caption=$1|"; }  # window CAPTION
    field() { sed -n "s/.*|$1=\([^|]*\)|.*/\1/p" <<<"|$2"; }  # field NAME LINE
    shown() { [ -n "$(window "$1")" ]; }
    # Whether two windows (lines of windows) cover each other, by at least
    # half of the smaller.
    over() {
        local ax=$(field x "$1") ay=$(field y "$1") aw=$(field w "$1") ah=$(field h "$1")
        local bx=$(field x "$2") by=$(field y "$2") bw=$(field w "$2") bh=$(field h "$2")
        local left=$((ax > bx ? ax : bx)) top=$((ay > by ? ay : by))
        local right=$((ax + aw < bx + bw ? ax + aw : bx + bw)) bottom=$((ay + ah < by + bh ? ay + ah : by + bh))
        local smaller=$((aw * ah < bw * bh ? aw * ah : bw * bh))
        [ "$right" -gt "$left" ] && [ "$bottom" -gt "$top" ] && [ $(((right - left) * (bottom - top) * 2)) -ge "$smaller" ]
    }

    # The first start: the notice, answered, then the clock; each placed by
    # KWin where the other is, and the clock as Plasma shows it.
    started "2026-12-08 12:00:00" WAYLAND_DEBUG=client QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    while_running 20 shown Zentick || fail "no first-start notice"
    notice=$(window Zentick)
    press OK
    while_running 20 shown "$caption" || fail "no window titled $caption after the notice"
    clock=$(window "$caption")
    [ "$(field decorated "$clock")" = true ] || fail "KWin drew no title bar: $clock"
    [ "$(field w "$clock")" -ge 227 ] && [ "$(field h "$clock")" -gt 79 ] || fail "no title bar around the clock: $clock"
    [ "$(field resizeable "$clock")" = false ] && [ "$(field maximizable "$clock")" = false ] ||
        fail "a fixed-size window may be resized or maximised: $clock"
    if [ "$compositor" = kwin ]; then
        grep -q 'zxdg_toplevel_decoration_v1@[0-9]*\.configure(2)' "$work/zentick.log" ||
            fail "KWin did not take the title bar on (server-side decoration)"
    fi
    over "$notice" "$clock" || fail "the first-start notice ($notice) was not placed over the clock ($clock)"
    press 設定
    while_running 20 shown 設定画面 || fail "no settings dialog"
    over "$(window 設定画面)" "$clock" || fail "the settings dialog was not placed over the clock: $(windows)"
    ended_and_saved '5,0,#07:00:00#,2'

    # The alarm, the clock minimised by a user gone to other work: it asks
    # for attention, the desktop shows the notice, and a click on it brings
    # the clock back.
    printf '5,0,#07:00:00#,0\r\n' >"$work/app/Zentick.ini"
    started "2026-12-08 06:59:45" WAYLAND_DEBUG=client QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    while_running 20 shown "$caption" || fail "no window titled $caption"
    press 'アラーム ＯＮ'
    kwin_script minimise "var cs = workspace.clientList();
        for (var i = 0; i < cs.length; ++i) if (cs[i].caption == '$caption') cs[i].minimized = true;"
    # The user's other work: a window of another program, which has the focus.
    WAYLAND_DISPLAY=$socket weston-editor >/dev/null 2>&1 &
    other_pid=$!
    trap 'kill "$other_pid" "$notices_pid" 2>/dev/null; cleanup' EXIT
    working() { windows | grep -q '|active=true|' && ! windows | grep "^caption=$caption|" | grep -q '|active=true|'; }
    while_running 10 working || fail "the other program did not take the focus: $(windows)"
    asks_attention() { [ "$(field attention "$(window "$caption")")" = true ]; }
    while_running 40 asks_attention || fail "no request for attention within 40 s of the start (the alarm is at 15 s): $(windows)"
    noticed() { grep -q 'Notify.*アラームの時刻 7:00 になりました。' "$work/notices.log"; }
    while_running 10 noticed || fail "no notice of the alarm: $(cat "$work/notices.log")"
    id=$(grep -c 'Notify' "$work/notices.log")  # the stand-in numbers its notices from 1
    mock() {  # mock SIGNAL SIGNATURE ARGUMENTS: the stand-in sends a signal
        gdbus call --session --dest org.freedesktop.Notifications --object-path /org/freedesktop/Notifications \
            --method org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.Notifications "$1" "$2" "$3" >/dev/null
    }
    mock ActivationToken us "[<uint32 $id>, <'zentick-test-token'>]"
    mock ActionInvoked us "[<uint32 $id>, <'default'>]"
    if [ "$compositor" = kwin ]; then
        # The token goes to the compositor, which alone may grant the focus.
        activated() { grep -q 'xdg_activation_v1@[0-9]*\.activate("zentick-test-token", wl_surface@' "$work/zentick.log"; }
        while_running 10 activated || fail "the click's token did not reach the compositor"
    else
        came_back() { clock=$(window "$caption"); [ "$(field minimized "$clock")" = false ] && [ "$(field active "$clock")" = true ]; }
        while_running 10 came_back || fail "a click on the notice did not bring the clock back: $(window "$caption")"
    fi
    ended_and_saved '5,0,#07:00:00#,0'
    echo "1 passed, 0 failed"
    exit 0
fi
# A desktop shell, which places windows itself; the pixman renderer, so the
# headless output really draws and answers frame callbacks.
weston --backend=headless-backend.so --use-pixman --socket="$socket" --width=1280 --height=800 --idle-time=0 \
    >"$work/weston.log" 2>&1 &
compositor_pid=$!
for _ in $(seq 100); do [ -S "$runtime/$socket" ] && break; sleep 0.05; done
[ -S "$runtime/$socket" ] || { cat "$work/weston.log" >&2; fail "weston did not start"; }

printf '5,0,#07:00:00#,2' >"$work/app/Zentick.ini"  # a hand edit without the line end: the save adds it

# The clock starts two seconds before a new minute, so the first tick has a
# new time to draw.
started "2026-12-08 06:59:58" WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client

# The protocol as the program speaks it: a toplevel titled with the
# caption, configured by the compositor, and drawn.
configured() {
    grep -q 'xdg_toplevel@[0-9]*\.set_title("ぽるたんの世界時計")' "$work/zentick.log" &&
        grep -q 'xdg_surface@[0-9]*\.configure(' "$work/zentick.log" &&
        grep -q 'xdg_surface@[0-9]*\.ack_configure(' "$work/zentick.log"
}
while_running 30 configured || fail "no main window was configured by the compositor"
grep -q "xdg_toplevel@[0-9]*\\.set_app_id(\"$app_id\")" "$work/zentick.log" || fail "the window does not name its desktop entry"

# Through a tick: the new minute is drawn (a tick comes every 3 s; a loaded
# machine may be late).
commits=$(grep -c 'wl_surface@[0-9]*\.commit()' "$work/zentick.log")
drawn_again() { [ "$(grep -c 'wl_surface@[0-9]*\.commit()' "$work/zentick.log")" -gt "$commits" ]; }
while_running 15 drawn_again || fail "nothing was drawn within 15 s of the first frame"

ended_and_saved '5,0,#07:00:00#,2'
echo "1 passed, 0 failed"
