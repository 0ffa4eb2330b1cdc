#!/bin/sh
# Runs a test on a session bus of its own, with a runtime folder of its own.
# The services that bus starts on demand (the accessibility bus among them)
# put their sockets in the runtime folder; without one they fall back to a
# fixed place in the user's home (~/.cache/at-spi/bus), where tests running
# at the same time would take each other's bus away.
runtime=$(mktemp -d) || exit 1
trap 'rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR=$runtime dbus-run-session -- "$@"
