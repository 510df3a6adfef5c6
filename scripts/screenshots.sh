#!/usr/bin/env bash
# Screenshots of the main window on every page, with a demo USB drive attached,
# taken on a virtual display: build/shots/page-N-ID.png, page-immunity.png,
# immunity-message.png and the drive restore's restore-*.png.
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
# /reg:64: with Debian's wine32 present, "wine reg" is the 32-bit reg.exe,
# which writes HKLM\SOFTWARE into the 32-bit view the program does not read.
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

# The Recycle Bin the disk cleanup would empty: not the user's own trash.
mkdir -p "$shots/data"
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
XDG_DATA_HOME=$shots/data wine "$shots/vardenix.exe" </dev/null >/dev/null 2>&1 &
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
# Restoring a drive after a shortcut worm: the user's folders and document
# hidden (one attribute an attrib call), a decoy shortcut beside each, the
# worm's script; the picture button's tooltip, its question, its closing
# message and the rows it added.
worm=$shots/worm-drive
rm -rf "$worm" && mkdir -p "$worm/Фото" "$worm/Документы"
printf 'PK' >"$worm/Отчёт.docx"
printf 'WScript.Echo 1' >"$worm/x.vbs"
for name in Фото Документы Отчёт.docx x.vbs; do
    for flag in +h +s; do
        wine cmd /c "attrib $flag $(winepath -w "$worm/$name")" >/dev/null 2>&1 || true
    done
done
wine "$build/tests/wine-drive.exe" attach F removable "$(winepath -w "$worm")" >/dev/null 2>&1
for name in Фото Документы Отчёт.docx; do
    wine "$build/tests/wine-drive.exe" shortcut "F:\\$name.lnk" 'C:\windows\system32\cmd.exe' \
        "/c start x.vbs & start explorer \"$name\"" >/dev/null 2>&1
done
sleep 2
wine "$build/tests/vardenix-command.exe" 1001 show >/dev/null 2>&1
wine "$build/tests/vardenix-command.exe" hover 1003 >/dev/null 2>&1
sleep 2
import -window root "$shots/restore-tooltip.png"
wine "$build/tests/vardenix-command.exe" press 1003 >/dev/null 2>&1
sleep 1
import -window root "$shots/restore-question.png"
wine "$build/tests/vardenix-command.exe" 1 message >/dev/null 2>&1
sleep 2
import -window root "$shots/restore-done.png"
wine "$build/tests/vardenix-command.exe" 1 message >/dev/null 2>&1
sleep 1
import -window root "$shots/restore-rows.png"
wine "$build/tests/vardenix-command.exe" scroll 1015 400 >/dev/null 2>&1
sleep 1
import -window root "$shots/restore-states.png"
wine "$build/tests/wine-drive.exe" detach F >/dev/null 2>&1

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
