#!/usr/bin/env bash
# The install rules, as a package runs them: `cmake --install` of the build
# into a folder of this test's own (DESTDIR) under the prefix /usr puts in
# exactly the program, its desktop entry, metainfo, manual page and icons,
# and what the desktop reads of them is valid.
# Usage: staged_install_test.sh BUILD_DIR APP_ID
set -euo pipefail

build=$1
id=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null

expected=$(cat <<LIST
usr/bin/zentick
usr/share/applications/$id.desktop
usr/share/metainfo/$id.metainfo.xml
usr/share/man/man1/zentick.1
$(for size in 16 22 24 32 48 64 128 256; do echo "usr/share/icons/hicolor/${size}x${size}/apps/$id.png"; done)
usr/share/icons/hicolor/scalable/apps/$id.svg
LIST
)
installed=$(cd "$stage" && find . ! -type d | sed 's|^\./||' | sort)
[ "$installed" = "$(sort <<<"$expected")" ] || fail "installed:"$'\n'"$installed"
[ -x "$stage/usr/bin/zentick" ] || fail "the program is not executable"

entry=$stage/usr/share/applications/$id.desktop
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
grep -qx 'Exec=zentick' "$entry" || fail "the entry does not start the installed program"
grep -qx "Icon=$id" "$entry" || fail "the entry names another icon"
appstreamcli validate --pedantic --no-net "$stage/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "the metainfo is not valid: $(appstreamcli validate --pedantic --no-net "$stage/usr/share/metainfo/$id.metainfo.xml")"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$stage/usr/share/man/man1/zentick.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page has faults:"$'\n'"$warnings"
echo "1 passed, 0 failed"
