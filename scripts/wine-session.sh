#!/usr/bin/env bash
# Starts or stops the Wine session that the tests run in:
#   wine-session.sh start DIR [BUILD [ARCH [DESKTOP]]]
#                             a fresh prefix in DIR/prefix, an Xvfb display
#                             and one persistent wineserver for the whole run;
#                             ARCH win64 (the default) makes a 64-bit Windows,
#                             win32 a 32-bit one; DESKTOP "none" leaves out the
#                             virtual desktop
#   wine-session.sh stop DIR  ends the wineserver and the display
# DIR/env is written on start; scripts/wine-run.sh reads it.
#
# VARDENIX_DPI (default 96) is the DPI the session's Windows reports, as a
# screen scaled to VARDENIX_DPI/96 would (144: 150 %); VARDENIX_SCREEN
# (default 1024x768, or as much larger as the DPI) is the size of the display
# and of the virtual desktop.
#
# The prefix has exactly two drives: C: (the prefix's own drive_c) and Z:, a
# network drive holding the build tree BUILD (default: DIR's parent folder)
# and nothing else. Wine's usual Z: is the host's root folder and reports as a
# fixed drive: the program's immunity walks every fixed drive and would write
# /AUTORUN.INF on the machine itself. A network drive is never walked, and Z:
# keeps the test programs, the program under test and the demo files
# reachable by Windows paths.
set -euo pipefail

action=${1:?start or stop}
dir=$(mkdir -p "${2:?session folder}" && cd "$2" && pwd)
prefix=$dir/prefix

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# winemenubuilder would write file associations into the host's home folder.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winealsa.drv=;winepulse.drv=;winemenubuilder.exe="
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8

stop_session() {
    if [ -d "$prefix" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" >/dev/null 2>&1 || true
        rm -f "$dir/xvfb.pid"
    fi
}

case $action in
stop)
    stop_session
    ;;
start)
    stop_session
    rm -rf "$prefix" "$dir/display"
    mkdir -p "$prefix"
    export WINEARCH=${4:-win64}
    dpi=${VARDENIX_DPI:-96}
    case $dpi in
    '' | *[!0-9]*) echo "VARDENIX_DPI is not a number: $dpi" >&2; exit 2 ;;
    esac
    screen=${VARDENIX_SCREEN:-$((1024 * dpi / 96))x$((768 * dpi / 96))}
    case $screen in
    [0-9]*x[0-9]*) ;;
    *) echo "VARDENIX_SCREEN is not WIDTHxHEIGHT: $screen" >&2; exit 2 ;;
    esac
    case $WINEARCH in
    win64 | win32) ;;
    *) echo "unknown Windows architecture: $WINEARCH" >&2; exit 2 ;;
    esac

    if [ "${VARDENIX_USE_DISPLAY:-}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
        # The demo run shows the program on the user's own screen.
        echo "${DISPLAY#:}" >"$dir/display"
    else
        # Xvfb picks a free display itself and writes its number to fd 3.
        setsid Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp -ac \
            3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
        echo $! >"$dir/xvfb.pid"
        for _ in $(seq 1 100); do
            [ -s "$dir/display" ] && break
            sleep 0.1
        done
        [ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; exit 1; }
    fi
    export DISPLAY=:$(tr -d '[:space:]' <"$dir/display")

    # Wine's helper processes keep the standard streams of whatever starts them
    # first: give them none, or a pipeline that reads the test output never ends.
    setsid wineserver -p </dev/null >/dev/null 2>&1
    wineboot -i </dev/null >/dev/null 2>&1

    # Every drive letter but C: goes; Z: comes back as the build tree alone.
    # The drive types are read when the session starts again below.
    build=$(cd "${3:-$dir/..}" && pwd)
    for letter in "$prefix"/dosdevices/?: "$prefix"/dosdevices/?::; do
        case ${letter##*/} in
        c:) ;;
        *) rm -f "$letter" ;;
        esac
    done
    ln -s "$build" "$prefix/dosdevices/z:"

    cat >"$prefix/drive_c/session.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Wine\Drives]
"z:"="network"

; A crashing test program ends at once instead of waiting in the debugger.
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=-
"Auto"="1"

; Wine has no MS Sans Serif for Cyrillic and falls back to DejaVu Sans, a
; dialog unit wider than on Windows; the condensed face has Windows' metrics.
[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS Sans Serif"="DejaVu Sans Condensed"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\usb_win9x_tests.exe]
"Version"="win98"

[HKEY_CURRENT_USER\Software\Wine\AppDefaults\safe_removal_win9x_tests.exe]
"Version"="win98"
REG
    # The DPI every program of the session sees, read when the session
    # starts again below.
    cat >>"$prefix/drive_c/session.reg" <<REG

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:$(printf %08x "$dpi")
REG
    # Every program of the prefix shares one virtual desktop with a taskbar and
    # a notification area, unless told otherwise: the desktop is a window of
    # Wine's explorer.exe, and a process whose windows live in it fails on its
    # next window call once that explorer.exe has ended. Safe removal ends it.
    if [ "${5:-shell}" != none ]; then
        cat >>"$prefix/drive_c/session.reg" <<REG

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="shell"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"shell"="$screen"
REG
    fi
    # A 64-bit Windows keeps HKLM\Software twice: the 64-bit programs' view,
    # where Wine's mount manager reads the drive types and a crashing 64-bit
    # program finds its debugger, and the 32-bit programs' one. "wine reg" may
    # itself be the 32-bit program, so each view is named.
    if [ "$WINEARCH" = win64 ]; then
        for view in 64 32; do
            wine reg import 'C:\session.reg' /reg:$view </dev/null >/dev/null 2>&1
        done
    else
        wine reg import 'C:\session.reg' </dev/null >/dev/null 2>&1
    fi
    rm -f "$prefix/drive_c/session.reg"

    # The desktop setting takes effect for an explorer started after it: start
    # the session again, so that every program runs in the one virtual desktop
    # with its taskbar and notification area.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    setsid wineserver -p </dev/null >/dev/null 2>&1
    wineboot </dev/null >/dev/null 2>&1

    if [ "$(ls "$prefix/dosdevices" | grep -v -x -e c: -e z: -e 'com[0-9]*' -e 'lpt[0-9]*')" ]; then
        echo "the prefix reaches drives outside the session: $(ls "$prefix/dosdevices")" >&2
        exit 1
    fi

    cat >"$dir/env" <<ENV
export WINEPREFIX='$prefix'
export WINEARCH=$WINEARCH
export WINEDEBUG=-all
export WINEDLLOVERRIDES='$WINEDLLOVERRIDES'
export LANG=ru_RU.UTF-8
export LC_ALL=ru_RU.UTF-8
export DISPLAY='$DISPLAY'
ENV
    ;;
*)
    echo "usage: $0 start DIR [BUILD [ARCH]] | stop DIR" >&2
    exit 2
    ;;
esac
