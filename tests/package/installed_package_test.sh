#!/usr/bin/env bash
# The Debian package as a user meets it, on a fresh Debian 12 of the test's
# own (debootstrap's minimal system, in a folder, entered with chroot; this
# machine's own system is left alone): installed with apt-get, which pulls
# what it needs; found by AppStream; the clock started from /usr/bin by an
# ordinary user on an X server and a session bus of its own; verified by
# dpkg, which finds no file of the package changed; and purged, leaving
# nothing of the package behind. Run as root, or as a user with sudo.
# Usage: installed_package_test.sh ZENTICK_DEB
set -euo pipefail

deb=$(realpath "$1")
top=$(cd "$(dirname "$0")/../.." && pwd)
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
fail() { echo "FAIL: $*" >&2; exit 1; }

system=$(mktemp -d)
chmod 755 "$system"  # its root folder, which every user goes through
log=$(mktemp)
cleanup() {
    rm -f "$log"
    as_root umount "$system/proc" 2>/dev/null || true
    as_root rm -rf --one-file-system "$system"
}
trap cleanup EXIT
inside() { as_root chroot "$system" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
# apt's chatter (services it cannot start in a chroot) is shown only when it fails.
apt_inside() { inside env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "apt-get $*"; }; }

# A fresh system with the sources this machine has (updates and security too).
as_root debootstrap --variant=minbase bookworm "$system" http://deb.debian.org/debian >/dev/null
as_root cp -r /etc/apt/sources.list /etc/apt/sources.list.d "$system/etc/apt/" 2>/dev/null || true
as_root mount -t proc proc "$system/proc"
apt_inside update
as_root cp "$deb" "$system/tmp/"
apt_inside install "/tmp/$(basename "$deb")"

# Listed for the software centres, under the id its metainfo is named for.
apt_inside install --no-install-recommends appstream
id=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -n 's|.*/metainfo/\(.*\)\.metainfo\.xml$|\1|p')
found=$(inside appstreamcli get "$id") || true
grep -qx "Identifier: $id \[desktop-application\]" <<<"$found" || fail "appstreamcli does not find $id: $found"

# The user's session, with what the test reads it through (none of which
# the clock needs): an X server, a session bus, the accessibility registry.
apt_inside install --no-install-recommends xvfb xauth dbus-daemon at-spi2-core python3-pyatspi
as_root mkdir -p "$system/zentick-test" "$system/home/user"
as_root cp "$top/tests/support/private_session.sh" "$top/tests/support/atspi.py" "$top/tests/package/first_start.py" \
    "$system/zentick-test/"
as_root chown nobody:nogroup "$system/home/user"
inside setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/home/user \
    sh /zentick-test/private_session.sh xvfb-run -a -s "-screen 0 1024x768x24" \
    python3 /zentick-test/first_start.py /usr/bin/zentick /home/user/.config/zentick ||
    fail "the installed clock did not behave"
[ ! -e "$system/usr/bin/Zentick.ini" ] || fail "the clock wrote its settings beside itself in /usr/bin"
changed=$(inside dpkg -V zentick) || true
[ -z "$changed" ] || fail "files of the package changed:"$'\n'"$changed"

apt_inside purge zentick
status=$(inside dpkg-query -W -f='${db:Status-Status}' zentick 2>/dev/null) || true
[ -z "$status" ] || [ "$status" = not-installed ] || fail "dpkg still knows zentick as $status"
left=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|' | grep -v '/$' | while read -r file; do
    [ ! -e "$system$file" ] || echo "$file"; done)
[ -z "$left" ] || fail "the purge left:"$'\n'"$left"
echo "1 passed, 0 failed"
