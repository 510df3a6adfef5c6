#!/usr/bin/env bash
# Screenshots of the main window on every page, with a demo USB drive attached,
# taken on a virtual display:
#   scripts/screenshots.sh [DPI]
# build/shots/page-N-ID.png, popup.png (the start-up popup), scan-results.png
# and scan-tooltip.png (the full scan and a long path's tooltip), about.png,
# page-immunity.png, immunity-message.png, worm-drive.png (a shortcut worm's
# drive as its insertion scan shows it) and the drive restore's
# restore-*.png. DPI (default 96) is the DPI the session's Windows reports,
# on a screen as much larger (144: 150 %, 192: 200 %); at another DPI than 96
# every name ends in -DPIdpi (page-1-1000-144dpi.png).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
dpi=${1:-96}
suffix=
[ "$dpi" = 96 ] || suffix=-${dpi}dpi
shots=$build/shots
session=$shots/wine$suffix
mkdir -p "$shots"
shoot() {  # name: the whole screen into build/shots/NAME[-DPIdpi].png
    import -window root "$shots/$1$suffix.png"
}

trap '"$root/scripts/wine-session.sh" stop "$session" || true' EXIT
VARDENIX_DPI=$dpi "$root/scripts/wine-session.sh" start "$session" "$build"
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
# A path longer than the full scan's list is wide: shown cut in the middle.
deep="$drive/Документы/Отчёты за 2024 год/Проекты заказчиков/Материалы и переписка"
mkdir -p "$deep"
printf 'WScript.Echo 1' >"$deep/программа_установки_обновления.vbs"
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
# The popup shows for three seconds after start-up: frames of the first
# seconds once Wine's desktop is drawn (the display is black before). Of the
# frames whose bottom-right corner differs much from the screen's after the
# popup has gone, the look that lasts longest is the popup painted (it has
# a moment before its contents are drawn): popup.png.
frames=$shots/popup-frames$suffix
rm -rf "$frames" && mkdir -p "$frames"
frame=10
for _ in $(seq 1 80); do
    import -window root "$frames/$frame.png"
    if [ "$(convert "$frames/$frame.png" -format '%[fx:mean>0.05]' info:)" = 1 ]; then
        frame=$((frame + 1))
        [ "$frame" -lt 26 ] || break
    fi
    sleep 0.25
done
rm -f "$frames/$frame.png"
sleep 2
import -window root "$frames/gone.png"
corner=$((420 * dpi / 96))x$((200 * dpi / 96))+0+0
for frame in "$frames"/[0-9]*.png; do
    difference=$(compare -metric AE -gravity SouthEast -crop "$corner" "$frame" "$frames/gone.png" null: 2>&1 || true)
    echo "${difference%% *} $frame"
done | sort -k1,1nr | awk 'NR == 1 {most = $1} $1 > 0 && 2 * $1 >= most' | sort -k2 >"$frames/differences"
lasting=$(cut -d' ' -f1 "$frames/differences" | sort | uniq -c | sort -k1,1nr -k2,2nr | awk 'NR == 1 {print $2}')
chosen=$(awk -v d="$lasting" '$1 == d {print $2; exit}' "$frames/differences")
[ -z "$chosen" ] || cp "$chosen" "$shots/popup$suffix.png"
rm -rf "$frames"
wine "$build/tests/wine-drive.exe" attach E removable "$(winepath -w "$drive")" >/dev/null 2>&1
sleep 2
page=1
for command in 1000 1001 1006 1010 1009 1007 1011; do
    wine "$build/tests/vardenix-command.exe" "$command" show >/dev/null 2>&1
    sleep 1
    shoot "page-$page-$command"
    page=$((page + 1))
done
# The full scan of the demo drive, and the tooltip of its deep path's row
# (the second: the root is walked first).
wine "$build/tests/vardenix-command.exe" 1006 show >/dev/null 2>&1
wine "$build/tests/vardenix-command.exe" press 1014 >/dev/null 2>&1
sleep 4
shoot scan-results
wine "$build/tests/vardenix-command.exe" hover 1024 30 36 >/dev/null 2>&1
sleep 2
shoot scan-tooltip
# The about box, which the main window runs for the system commands 0x10-0x1F.
wine "$build/tests/vardenix-command.exe" 1000 show >/dev/null 2>&1
wine "$build/tests/vardenix-command.exe" 16 syscommand >/dev/null 2>&1
sleep 1
shoot about
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
# The decoys are there before the drive comes, so that its insertion scan
# lists them and says that the user's entries are hidden.
for name in Фото Документы Отчёт.docx; do
    wine "$build/tests/wine-drive.exe" shortcut "$(winepath -w "$worm/$name.lnk")" 'C:\windows\system32\cmd.exe' \
        "/c start x.vbs & start explorer \"$name\"" >/dev/null 2>&1
done
wine "$build/tests/wine-drive.exe" attach F removable "$(winepath -w "$worm")" >/dev/null 2>&1
sleep 2
shoot worm-drive
wine "$build/tests/vardenix-command.exe" 1001 show >/dev/null 2>&1
wine "$build/tests/vardenix-command.exe" hover 1003 >/dev/null 2>&1
sleep 2
shoot restore-tooltip
wine "$build/tests/vardenix-command.exe" press 1003 >/dev/null 2>&1
sleep 1
shoot restore-question
wine "$build/tests/vardenix-command.exe" 1 message >/dev/null 2>&1
sleep 2
shoot restore-done
wine "$build/tests/vardenix-command.exe" 1 message >/dev/null 2>&1
sleep 1
shoot restore-rows
wine "$build/tests/vardenix-command.exe" scroll 1015 400 >/dev/null 2>&1
sleep 1
shoot restore-states
wine "$build/tests/wine-drive.exe" detach F >/dev/null 2>&1

# The immunity page has no page button: the tray's "Безопасное извлечение USB"
# shows it; then the tray's "Отключить Автозапуск USB" with its first message
# (the demo drive's AUTORUN.INF).
wine "$build/tests/vardenix-command.exe" 32777 post >/dev/null 2>&1
sleep 1
shoot page-immunity
wine "$build/tests/vardenix-command.exe" 32773 post >/dev/null 2>&1
sleep 2
shoot immunity-message
wine "$build/tests/vardenix-command.exe" 1062 post >/dev/null 2>&1 || true
echo "screenshots in $shots"
