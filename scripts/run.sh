#!/usr/bin/env bash
# Builds Vardenix and starts it under Wine in a virtual desktop, then attaches
# a demo USB drive holding an AUTORUN.INF and a hidden program, and a worm of
# today's kind: the user's folder hidden, a decoy shortcut in its place and
# the worm's script in a folder dressed as a recycle bin. The window comes
# forward with the threats listed and a notice that names the restore. On a
# machine with a screen ($DISPLAY) the desktop opens there and the script
# waits until the program ends (tray menu "Выход"); without one it runs on a
# virtual display and saves screenshots in build/demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
demo=$build/demo

"$root/scripts/setup.sh"
BUILD_DIR=$build "$root/scripts/build.sh" >/dev/null

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    export VARDENIX_USE_DISPLAY=1
    headless=
else
    headless=1
fi
trap '"$root/scripts/wine-session.sh" stop "$demo/wine" || true' EXIT
"$root/scripts/wine-session.sh" start "$demo/wine" "$build"
# shellcheck disable=SC1091
. "$demo/wine/env"
cd "$build"  # on drive Z:, so Wine starts its programs in a folder it can reach

# The demo drive: a folder that becomes removable drive E:.
drive=$demo/usb-drive
rm -rf "$drive"
mkdir -p "$drive/Photos"
printf '[autorun]\r\nopen=setup.exe\r\nshell\\open\\command=setup.exe\r\n' >"$drive/AUTORUN.INF"
printf 'MZ demo payload, not a real program\r\n' >"$drive/setup.exe"
printf 'WScript.Echo "demo"\r\n' >"$drive/update.vbs"
printf 'holiday\r\n' >"$drive/Photos/beach.jpg"
mkdir -p "$drive/RECYCLER.BIN"
printf 'WScript.Echo "demo worm"\r\n' >"$drive/RECYCLER.BIN/helper.vbs"

program=$build/src/app/vardenix.exe
if [ -n "$headless" ]; then
    # Nobody is there to answer the first start's autorun question.
    # (/reg:64: the key the 64-bit program reads; Wine's reg may be the 32-bit one.)
    wine reg add 'HKLM\SOFTWARE\vormtalware' /v autorun /t REG_SZ /d 1 /reg:64 /f >/dev/null 2>&1
fi
# "Очистка Диска" empties the Recycle Bin, which under Wine is the Unix user's
# trash (that of XDG_DATA_HOME when it is set): the demo's lies in build/.
mkdir -p "$demo/data"
XDG_DATA_HOME=$demo/data wine "$program" </dev/null >"$demo/vardenix.log" 2>&1 &
pid=$!

shot() { [ -n "$headless" ] && import -window root "$demo/$1.png" && echo "screenshot: $demo/$1.png"; return 0; }

sleep 4
shot start
# Hidden, as malware leaves its programs on a stick (set through drive Z:,
# which holds the build tree).
wine cmd /c "attrib +h $(winepath -w "$drive/setup.exe") & attrib +h $(winepath -w "$drive/update.vbs")" \
    >/dev/null 2>&1 || true
# The worm's part: the user's folder hidden (one attribute an attrib call, as
# Wine's attrib sets only its last), the decoy named after it.
for target in Photos RECYCLER.BIN; do
    for flag in +h +s; do
        wine cmd /c "attrib $flag $(winepath -w "$drive/$target")" >/dev/null 2>&1 || true
    done
done
wine "$build/tests/wine-drive.exe" shortcut "$(winepath -w "$drive/Photos.lnk")" 'C:\windows\system32\cmd.exe' \
    '/c start RECYCLER.BIN\helper.vbs & explorer Photos' >/dev/null 2>&1 || true
wine "$build/tests/wine-drive.exe" attach E removable "$(winepath -w "$drive")" >/dev/null 2>&1 || true
sleep 3
shot usb-drive-attached

if [ -n "$headless" ]; then
    kill "$pid" >/dev/null 2>&1 || true
else
    echo "Vardenix runs in the Wine desktop; end it from its tray icon (Выход)."
    wait "$pid" || true
fi
