"""The real zentick as a screen reader reads it through AT-SPI, on the
session bus it runs on: the helpers the screen reader test uses, and, run
as a program, a watch for the tests and benchmarks that need the time the
clock shows. The watch prints a line each time the time box's text changes
("time 7:02") and each time a message box appears ("note ..."), headed by
the moment it was seen, in seconds of CLOCK_MONOTONIC. `press` presses a
button or check box by its name, as a screen reader's user does, on any
window system.

Usage: python3 atspi.py [press NAME]
"""

import sys
import time

import pyatspi

CAPTION = "ぽるたんの世界時計"


def desktop():
    # Read afresh: the AT-SPI library keeps what it has read, and only a
    # client listening for events hears of new applications and states.
    found = pyatspi.Registry.getDesktop(0)
    found.clearCache()
    return found


def application():
    return next((app for app in desktop() if app is not None and app.name == CAPTION and app.childCount), None)


def child(parent, role, name):
    for node in parent:
        if node is not None and node.getRoleName() == role and node.name == name:
            return node
    return None


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def labels_in(node):
    for item in node:
        if item is None:
            continue
        if item.getRoleName() == "label" and item.name:
            yield item.name
        yield from labels_in(item)


def watch(period=0.05):
    # What each program showed, by its process: a program started after
    # another may come to show the same time or note, and is new all the same.
    shown = {}
    notes = set()
    while True:
        try:
            app = application()
            if app is not None:
                program = app.get_process_id()
                for window in app:
                    if window is None:
                        continue
                    if window.getRoleName() == "frame" and window.name == CAPTION:
                        clock = child(window, "text", "時刻")
                        text = text_of(clock) if clock is not None else None
                        if text is not None and text != shown.get(program):
                            shown[program] = text
                            print(f"{time.monotonic():.3f} time {text}", flush=True)
                    elif window.getRoleName() in ("alert", "dialog"):
                        for note in labels_in(window):
                            if (program, note) not in notes:
                                notes.add((program, note))
                                print(f"{time.monotonic():.3f} note {note}", flush=True)
        except Exception:  # a window that went while it was read: look again
            pass
        time.sleep(period)


def find(parent, roles, name):
    for node in parent:
        if node is None:
            continue
        if node.getRoleName() in roles and node.name == name:
            return node
        found = find(node, roles, name)
        if found is not None:
            return found
    return None


def press(name, seconds=20.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            app = application()
            control = find(app, ("push button", "check box"), name) if app is not None else None
            if control is not None:
                control.queryAction().doAction(0)
                return
        except Exception:  # a window that went while it was read: look again
            pass
        time.sleep(0.1)
    sys.exit(f"no control named {name} within {seconds:.0f} s")


if __name__ == "__main__":
    try:
        if sys.argv[1:2] == ["press"]:
            press(sys.argv[2])
        else:
            watch()
    except (KeyboardInterrupt, BrokenPipeError):
        sys.exit(0)
