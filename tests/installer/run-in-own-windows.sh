#!/usr/bin/env bash
# Runs a test program in a Wine session of its own, made fresh for it and
# ended afterwards:
#   run-in-own-windows.sh SESSION BUILD ARCH PROGRAM [arguments]
# SESSION, BUILD and ARCH are those of scripts/wine-session.sh start.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
session=$1 build=$2 arch=$3
shift 3
trap '"$root/scripts/wine-session.sh" stop "$session"' EXIT
"$root/scripts/wine-session.sh" start "$session" "$build" "$arch"
"$root/scripts/wine-run.sh" "$session" "$@"
