#!/usr/bin/env bash
# Screenshots of the main window on every page, with a demo USB drive attached,
# taken on a virtual display: build/shots/page-N-ID.png, page-immunity.png and
# immunity-message.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
shots=$build/shots
session=$shots/wine
mkdir -p "$shots"

trap '"$root/scripts/wine-session.sh" stop "$session" || true' EXIT
"$root/scripts/wine-session.sh" start "$session" "$build"
# shellcheck disable=SC1091
. "$session/env"
cd "$build"  # on drive Z:, so Wine starts its programs in a folder it can reach
# /reg:64: where the 64-bit program looks; Wine's own reg may be a 32-bit program.
wine reg add 'HKLM\SOFTWARE\vormtalware' /v autorun /t REG_SZ /d 1 /reg:64 /f >/dev/null 2>&1
# Startup entries for the startup page: a user's own, a 32-bit program's and a number.
run='Software\Microsoft\Windows\CurrentVersion\Run'
wine reg add "HKCU\\$run" /v Updater /t REG_SZ /d 'C:\users\Public\updater.exe /silent' /f >/dev/null 2>&1
wine reg add "HKLM\\$run" /v Tray32 /t REG_SZ /d 'C:\Program Files (x86)\Tray\tray.exe' /reg:32 /f >/dev/null 2>&1
wine reg add "HKLM\\$run" /v Delay /t REG_DWORD /d 30 /reg:64 /f >/dev/null 2>&1

drive=$shots/usb-drive
rm -rf "$drive" && mkdir -p "$drive"
printf '[autorun]\r\nopen=setup.exe\r\n' >"$drive/AUTORUN.INF"
printf 'MZ' >"$drive/setup.exe"
wine cmd /c "attrib +h $(winepath -w "$drive/setup.exe")" >/dev/null 2>&1 || true

# A hidden program under a system program's name, for the memory page's monitor.
disguised=$shots/disguised
rm -rf "$disguised" && mkdir -p "$disguised"
cp "$build/tests/tools/idle_program.exe" "$disguised/notepad.exe"
wine cmd /c "attrib +h $(winepath -w "$disguised/notepad.exe")" >/dev/null 2>&1 || true
wine "$disguised/notepad.exe" </dev/null >/dev/null 2>&1 &
# A copy of its own: the tray command below puts a file into the quarantine
# folder beside the program.
rm -rf "$shots/quarantine"
cp "$build/src/app/vardenix.exe" "$shots/vardenix.exe"
wine "$shots/vardenix.exe" </dev/null >/dev/null 2>&1 &
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
# The about box, which the main window runs for the system commands 0x10-0x1F.
wine "$build/tests/vardenix-command.exe" 1000 show >/dev/null 2>&1
wine "$build/tests/vardenix-command.exe" 16 syscommand >/dev/null 2>&1
sleep 1
import -window root "$shots/about.png"
wine "$build/tests/vardenix-command.exe" 1 about >/dev/null 2>&1 || true
sleep 1
# The immunity page has no page button; then the tray's "Отключить Автозапуск
# USB" with its first message (the demo drive's AUTORUN.INF).
wine "$build/tests/vardenix-command.exe" page 1030 >/dev/null 2>&1
sleep 1
import -window root "$shots/page-immunity.png"
wine "$build/tests/vardenix-command.exe" 32773 post >/dev/null 2>&1
sleep 2
import -window root "$shots/immunity-message.png"
wine "$build/tests/vardenix-command.exe" 1062 post >/dev/null 2>&1 || true
echo "screenshots in $shots"
