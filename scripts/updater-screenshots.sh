#!/usr/bin/env bash
# Screenshots of the updater's window in its states, taken on a virtual
# display:
#   scripts/updater-screenshots.sh [DPI]
# build/shots/updater-*.png. It runs the updater the tests build (the test
# key) against the tests' local web server and signed descriptions. DPI
# (default 96) is the session's, as in scripts/screenshots.sh; at another DPI
# than 96 every name ends in -DPIdpi.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
dpi=${1:-96}
suffix=
[ "$dpi" = 96 ] || suffix=-${dpi}dpi
shots=$build/shots
session=$shots/updater-wine$suffix
served=$shots/updater-served$suffix
mkdir -p "$shots"
rm -rf "$served" && mkdir -p "$served"
cp "$build"/tests/updater/descriptions/*.ini "$served/"
cp "$build/tests/start-recorder.exe" "$served/installer.exe"
printf '<html><body>Welcome</body></html>' >"$served/page.ini"

cleanup() {
    curl -s "http://127.0.0.1:$(cat "$served/port" 2>/dev/null)/quit" >/dev/null 2>&1 || true
    "$root/scripts/wine-session.sh" stop "$session" || true
}
trap cleanup EXIT
VARDENIX_DPI=$dpi "$root/scripts/wine-session.sh" start "$session" "$build"
# shellcheck disable=SC1091
. "$session/env"
cd "$build"  # on drive Z:, so Wine starts its programs in a folder it can reach
python3 "$root/tests/updater/update_server.py" "$served" "$served/port" &
for _ in $(seq 1 50); do [ -s "$served/port" ] && break; sleep 0.1; done
url=http://127.0.0.1:$(cat "$served/port")

updater=$build/tests/updater/tollupd-testkey.exe
shoot() {  # name, then the updater's arguments
    local name=$1
    shift
    wine "$updater" "$@" </dev/null >/dev/null 2>&1 &
    local updater_pid=$!
    sleep 3
    import -window root "$shots/updater-$name$suffix.png"
    kill "$updater_pid" 2>/dev/null || true
    wait "$updater_pid" 2>/dev/null || true
}
shoot offer Tollmark 5.1.0.15 "$url/newer.ini"
shoot latest Tollmark 5.2.0.0 "$url/newer.ini"
shoot refused Tollmark 5.1.0.15 "$url/page.ini"
shoot expired Tollmark 5.1.0.15 "$url/expired.ini"
shoot unreachable Tollmark 5.1.0.15 http://127.0.0.1:1/update.ini
echo "screenshots in $shots"
