#!/usr/bin/env bash
# Screenshots of the main window on every page, with a demo USB drive attached,
# taken on a virtual display: build/shots/page-N.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
shots=$build/shots
session=$shots/wine
mkdir -p "$shots"

trap '"$root/scripts/wine-session.sh" stop "$session" || true' EXIT
"$root/scripts/wine-session.sh" start "$session"
# shellcheck disable=SC1091
. "$session/env"
wine reg add 'HKLM\SOFTWARE\vormtalware' /v autorun /t REG_SZ /d 1 /f >/dev/null 2>&1

drive=$shots/usb-drive
rm -rf "$drive" && mkdir -p "$drive"
printf '[autorun]\r\nopen=setup.exe\r\n' >"$drive/AUTORUN.INF"
printf 'MZ' >"$drive/setup.exe"
wine cmd /c "attrib +h $(winepath -w "$drive/setup.exe")" >/dev/null 2>&1 || true

# The Recycle Bin the disk cleanup would empty: not the user's own trash.
mkdir -p "$shots/data"
XDG_DATA_HOME=$shots/data wine "$build/src/app/vardenix.exe" </dev/null >/dev/null 2>&1 &
sleep 4
wine "$build/tests/wine-drive.exe" attach E removable "$(winepath -w "$drive")" >/dev/null 2>&1
sleep 2
page=1
for command in 1000 1001 1006 1010 1009 1007 1011; do
    wine "$build/tests/vardenix-command.exe" "$command" show >/dev/null 2>&1
    sleep 1
    import -window root "$shots/page-$page-$command.png"
    page=$((page + 1))
done
wine "$build/tests/vardenix-command.exe" 1062 >/dev/null 2>&1 || true
echo "screenshots in $shots"
