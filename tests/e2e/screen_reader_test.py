"""What a screen reader hears from the real zentick: its windows, fields,
labels and states as AT-SPI carries them, read on a private session bus with
the accessibility registry, the program on an X server of its own. The
program's clock, zone and locale are the test's own: it starts at an hour of
one digit and is set forward to one of two.

Usage: dbus-run-session -- python3 screen_reader_test.py ZENTICK LIBFAKETIME
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from atspi import CAPTION, application, child, desktop, text_of  # noqa: E402
# The computer's clock runs on Japan time; the test's too, whatever the machine's.
ZONE = "JST-9"
# A Tuesday, at an hour of one digit, then of two.
START = (2026, 12, 8, 5, 4, 10)
SET_FORWARD = (2026, 12, 8, 15, 4, 10)
DATE_LABEL = "日付 Dec 8, Tue"  # in the C locale's names
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def wait_for(find, what, seconds=20.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        desktop()  # read afresh
        found = find()
        if found:
            return found
        time.sleep(0.1)
    sys.exit(f"FAIL: {what} did not appear within {seconds:.0f} s")


class FakeClock:
    """The program's clock through libfaketime: an offset from the real clock
    in a file it reads at every look, so the test can set it while it runs."""

    def __init__(self, folder, at):
        self.file = os.path.join(folder, "faketime")
        self.set(at)

    def set(self, at):
        self.offset = round(time.mktime(at + (0, 0, -1)) - time.time())
        with open(self.file + ".new", "w") as rc:
            rc.write(f"{self.offset:+d}\n")
        os.replace(self.file + ".new", self.file)

    def shown(self, lag=4.0):
        """What the time box may show now: this minute, or the one a tick ago."""
        now = time.time() + self.offset
        return {h_mm(now - lag), h_mm(now)}


def h_mm(seconds):
    """The time box's pattern: the hour without a leading zero."""
    local = time.localtime(seconds)
    return f"{local.tm_hour}:{local.tm_min:02d}"


def states(node):
    return {pyatspi.stateToString(state) for state in node.getState().getStates()}


def labels_of(node):
    return [relation.getTarget(i).name
            for relation in node.getRelationSet()
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY
            for i in range(relation.getNTargets())]


def check_main_window(app, clock_set):
    frames = [node for node in app if node is not None and node.getRoleName() == "frame"]
    check([frame.name for frame in frames] == [CAPTION], f"the main window is not one frame named {CAPTION}: "
          f"{[(node.getRoleName(), node.name) for node in app]}")
    main = frames[0]
    clock = child(main, "text", "時刻")
    check(clock is not None, "no text named 時刻 (the time)")
    if clock is not None:
        shown = text_of(clock)
        check(shown in clock_set.shown(), f"the time box shows {shown!r}, not one of {sorted(clock_set.shown())}")
        check(shown not in clock.name, f"the time is announced twice: name {clock.name!r}, text {shown!r}")
        check("read only" in states(clock) and "editable" not in states(clock),
              f"the time box is not heard as a display: {sorted(states(clock))}")
    dates = [node.name for node in main if node.getRoleName() == "label" and node.name.startswith("日付 ")]
    check(dates == [DATE_LABEL], f"the date is not one label named {DATE_LABEL}: {dates}")
    for name in ("設定", "終了"):
        check(child(main, "push button", name) is not None, f"no push button {name}")
    return main


def check_clock_set_forward(main, clock_set):
    """The next tick after the computer's clock is set shows the new time."""
    clock_set.set(SET_FORWARD)
    clock = child(main, "text", "時刻")
    if clock is not None:
        wait_for(lambda: text_of(clock) in clock_set.shown(),
                 f"the time {sorted(clock_set.shown())} after the clock was set forward", seconds=10)


def check_alarm_box(main):
    alarm = child(main, "check box", "アラーム ＯＮ")
    check(alarm is not None, "no check box アラーム ＯＮ")
    if alarm is None:
        return
    check("checked" not in states(alarm), "the alarm box starts checked")
    alarm.queryAction().doAction(0)
    wait_for(lambda: "checked" in states(alarm), "the checked state of the alarm box")
    alarm.queryAction().doAction(0)  # the alarm left as it was


def check_settings_dialog(app, main):
    child(main, "push button", "設定").queryAction().doAction(0)
    dialog = wait_for(lambda: child(app, "dialog", "設定画面"), "the settings dialog, as a dialog")
    zones = next((node for node in dialog if node.getRoleName() == "combo box"), None)
    check(zones is not None and labels_of(zones) == ["国、地域："],
          f"the zone list is not labelled 国、地域：: {zones and labels_of(zones)}")
    for name, labels in (("アラーム時刻の時", ["アラーム時刻：", "時"]), ("アラーム時刻の分", ["分"])):
        box = child(dialog, "text", name)
        check(box is not None and sorted(labels_of(box)) == sorted(labels),
              f"the text {name} is not labelled {labels}: {box and labels_of(box)}")
    summer = child(dialog, "check box", "夏時間使用")
    check(summer is not None and "checked" not in states(summer), "夏時間使用 is missing or checked")
    sounds = next((node for node in dialog if node.getRoleName() == "panel" and node.name == "アラームの種類"), None)
    check(sounds is not None, "no group アラームの種類")
    if sounds is not None:
        checked = [node.name for node in sounds if node.getRoleName() == "radio button" and "checked" in states(node)]
        check(checked == ["ＭＩＤＩ音楽"], f"the checked sound is {checked}, not ＭＩＤＩ音楽")


def main():
    program, faketime = sys.argv[1:3]
    work = tempfile.mkdtemp()
    os.environ["TZ"] = ZONE
    time.tzset()
    xvfb = zentick = None
    try:
        # The registry first, as a desktop session has it: Qt joins a running one.
        pyatspi.Registry.getDesktop(0)
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
                                 "tcp"], pass_fds=[write_end], stderr=subprocess.DEVNULL)
        os.close(write_end)
        # Xvfb writes the number, then a newline, and fails if it cannot.
        display = b""
        while not display.endswith(b"\n"):
            chunk = os.read(read_end, 64)
            if not chunk:
                sys.exit("FAIL: Xvfb did not start")
            display += chunk
        display = display.decode().strip()
        os.close(read_end)

        folder = os.path.join(work, "app")
        os.mkdir(folder)
        shutil.copy(program, os.path.join(folder, "zentick"))
        with open(os.path.join(folder, "Zentick.ini"), "wb") as settings:
            settings.write(b"5,0,#07:00:00#,2\r\n")
        clock_set = FakeClock(work, START)
        environment = dict(os.environ, DISPLAY=":" + display, QT_QPA_PLATFORM="xcb",
                           QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", TZ=ZONE, LC_ALL="C.UTF-8",
                           LD_PRELOAD=faketime, FAKETIME_TIMESTAMP_FILE=clock_set.file, FAKETIME_NO_CACHE="1",
                           FAKETIME_DONT_FAKE_MONOTONIC="1", NO_FAKE_STAT="1",
                           # A sanitized build wants its runtime first, and faketime is preloaded.
                           ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=0")
        environment.pop("FAKETIME", None)  # it would win over the file
        zentick = subprocess.Popen([os.path.join(folder, "zentick")], env=environment,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        app = wait_for(application, f"an application named {CAPTION}")
        window = check_main_window(app, clock_set)
        check_clock_set_forward(window, clock_set)
        check_alarm_box(window)
        check_settings_dialog(app, window)
    finally:
        for process in (zentick, xvfb):
            if process is not None:
                process.terminate()
                process.wait()
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{'failed' if failures else 'passed'}: {len(failures)} wrong")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
