#!/usr/bin/env bash
# The Debian package as a user meets it, on this machine: installed with
# apt-get, which pulls what it needs; the clock started from /usr/bin by an
# ordinary user (the one running this, or for root, nobody with a home of
# the test's own) on an X server and a session bus of its own; verified by
# dpkg, which finds no file of the package changed; and purged, leaving
# nothing of the package behind. It changes this machine: run it as root or
# as a user with sudo, where the package may be installed and removed.
# Usage: installed_package_test.sh ZENTICK_DEB
set -euo pipefail

deb=$(realpath "$1")
top=$(cd "$(dirname "$0")/../.." && pwd)
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null

# The user's session: a home of the test's own, a bus, an X server.
home=$work/home
mkdir -p "$home"
as_user=(env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8)
if [ "$(id -u)" -eq 0 ]; then
    chown nobody:nogroup "$home"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups "${as_user[@]}")
fi
"${as_user[@]}" "$top/tests/support/private_session.sh" xvfb-run -a -s "-screen 0 1024x768x24" \
    /usr/bin/python3 "$top/tests/package/first_start.py" /usr/bin/zentick "$home/.config/zentick" ||
    fail "the installed clock did not behave"
[ ! -e /usr/bin/Zentick.ini ] || fail "the clock wrote its settings beside itself in /usr/bin"
changed=$(dpkg -V zentick) || true
[ -z "$changed" ] || fail "files of the package changed:"$'\n'"$changed"

as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zentick >/dev/null
status=$(dpkg-query -W -f='${db:Status-Status}' zentick 2>/dev/null) || true
[ -z "$status" ] || [ "$status" = not-installed ] || fail "dpkg still knows zentick as $status"
left=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|' | grep -v '/$' | while read -r file; do
    [ ! -e "$file" ] || echo "$file"; done)
[ -z "$left" ] || fail "the purge left:"$'\n'"$left"
echo "1 passed, 0 failed"
