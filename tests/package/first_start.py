"""The installed zentick as its user first meets it, read and pressed
through AT-SPI as a screen reader's user would: one notice that the
settings file will be made, a file of exactly the default 18 bytes in the
user's folder, a changed sound kept across a restart, which shows no
notice at all.

Usage: python3 first_start.py ZENTICK SETTINGS_FOLDER
(on an X display and a session bus with the accessibility registry)
"""

import os
import subprocess
import sys
import time

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from atspi import CAPTION, application, child, desktop  # noqa: E402

CREATING = "設定ﾌｧｲﾙを作成します"


def wait_for(what, look, seconds=20.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            desktop()  # read afresh
            found = look()
            if found:
                return found
        except Exception:  # a window that went while it was read: look again
            pass
        time.sleep(0.1)
    sys.exit(f"FAIL: {what} within {seconds:.0f} s")


def showing(node):
    return node is not None and node.getState().contains(pyatspi.STATE_SHOWING)


def notices(app):
    """The message boxes open, each as the words it shows."""
    found = []
    for window in app:
        if showing(window) and window.getRoleName() in ("alert", "dialog") and window.name != "設定画面":
            found.append([node.name for node in window
                          if node is not None and node.getRoleName() == "label" and node.name])
    return found


def press(parent, roles, name=None):
    """Presses the control of a role named `name`, or the first of that role."""
    def look(node):
        for item in node:
            if item is None:
                continue
            if item.getRoleName() in roles and (name is None or item.name == name):
                return item
            found = look(item)
            if found is not None:
                return found
        return None
    control = wait_for(f"a {roles[0]} named {name}", lambda: look(parent))
    control.queryAction().doAction(0)


def run(program, folder, first_start, change=None):
    clock = subprocess.Popen([program], env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"),
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        app = wait_for(f"an application named {CAPTION}", application)
        if first_start:
            if os.path.exists(folder):
                sys.exit(f"FAIL: {folder} was made before the notice")
            shown = wait_for("the notice", lambda: notices(app))
            if shown != [[CREATING]]:
                sys.exit(f"FAIL: the first start showed {shown}, not one notice {CREATING}")
            box = next(window for window in app if window.getRoleName() in ("alert", "dialog"))
            press(box, ("push button",))  # its one button
        main = wait_for("the main window", lambda: child(application(), "frame", CAPTION))
        if first_start and settings(folder) != b"5,0,#07:00:00#,2\r\n":
            sys.exit(f"FAIL: the first start made {settings(folder)!r}, not the 18 default bytes")
        time.sleep(2)  # a message box that would follow
        if notices(application()):
            sys.exit(f"FAIL: a message box besides the first start's: {notices(application())}")
        if change:
            change(main)
        press(main, ("push button",), "終了")
        if clock.wait(timeout=20) != 0:
            sys.exit("FAIL: the clock did not end cleanly")
    finally:
        if clock.poll() is None:
            clock.kill()


def one_beep(main):
    press(main, ("push button",), "設定")
    dialog = wait_for("the settings dialog", lambda: child(application(), "dialog", "設定画面"))
    press(dialog, ("radio button",), "１回ビープ音")
    press(dialog, ("push button",), "ＯＫ")
    wait_for("the settings dialog to close", lambda: not showing(child(application(), "dialog", "設定画面")))


def settings(folder):
    with open(os.path.join(folder, "Zentick.ini"), "rb") as file:
        return file.read()


def main():
    program, folder = sys.argv[1:3]
    run(program, folder, True, one_beep)
    if settings(folder) != b"5,0,#07:00:00#,0\r\n":
        sys.exit(f"FAIL: the changed sound was saved as {settings(folder)!r}")
    run(program, folder, False)
    if settings(folder) != b"5,0,#07:00:00#,0\r\n":
        sys.exit(f"FAIL: the second run saved {settings(folder)!r}: the change was not read back")
    print("passed")


if __name__ == "__main__":
    main()
