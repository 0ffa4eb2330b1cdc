#!/usr/bin/env bash
# tools/dev install and uninstall, as a user runs them, into folders of this
# test's own: exactly the program, its desktop entry and its icons go in
# (and the entry once more to start at login, when asked), the entry is
# valid, and uninstall takes out all of it but the settings.
# Usage: desktop_entry_test.sh ZENTICK APP_ID
set -euo pipefail

program=$1
id=$2
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/share" XDG_CONFIG_HOME="$work/config"
folder="$work/my programs/zentick"  # a blank in the path, as home folders may have
entry="$XDG_DATA_HOME/applications/$id.desktop"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$top/tools/desktop-entry" install "$program" "$folder" >/dev/null

expected=$(cat <<LIST
$folder/.zentick-installed
$folder/zentick
$entry
$(for size in 16 22 24 32 48 64 128 256; do echo "$XDG_DATA_HOME/icons/hicolor/${size}x${size}/apps/$id.png"; done)
$XDG_DATA_HOME/icons/hicolor/scalable/apps/$id.svg
LIST
)
written=$(find "$work" -type f | sort)
[ "$written" = "$(sort <<<"$expected")" ] || fail "install wrote:"$'\n'"$written"
[ -x "$folder/zentick" ] || fail "the program is not executable"
cmp -s "$program" "$folder/zentick" || fail "the program was not copied whole"
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
grep -qx "Exec=\"$folder/zentick\"" "$entry" || fail "the Exec line does not start the copy"
grep -qx 'Name=ぽるたんの世界時計' "$entry" || fail "the menu shows another name"
grep -qx "Icon=$id" "$entry" || fail "the entry names another icon"

# The user runs it for a while: settings and a tune appear beside it.
printf '5,0,#07:00:00#,2\r\n' >"$folder/Zentick.ini"
"$top/tools/desktop-entry" uninstall "$folder" >/dev/null
left=$(find "$work" -type f | sort)
[ "$left" = "$folder/Zentick.ini" ] || fail "uninstall left:"$'\n'"$left"
[ -z "$(find "$XDG_DATA_HOME" -mindepth 1 ! -type d 2>/dev/null)" ] || fail "uninstall left something under the data folder"

# Asked to start at login: the same entry in the autostart folder, and gone again with the rest.
# Installed over an earlier install whose entry had another name: that one goes.
mkdir -p "$XDG_DATA_HOME/applications" "$folder"
touch "$XDG_DATA_HOME/applications/zentick.desktop"
echo "$XDG_DATA_HOME/applications/zentick.desktop" >"$folder/.zentick-installed"
"$top/tools/desktop-entry" install "$program" "$folder" --autostart >/dev/null
[ ! -e "$XDG_DATA_HOME/applications/zentick.desktop" ] || fail "the earlier install's entry stayed"
cmp -s "$entry" "$XDG_CONFIG_HOME/autostart/$id.desktop" || fail "no autostart entry, or not the menu's"
"$top/tools/desktop-entry" uninstall "$folder" >/dev/null
[ -z "$(find "$XDG_CONFIG_HOME" -mindepth 1 2>/dev/null)" ] || fail "uninstall left the autostart entry"
echo "3 passed, 0 failed"
