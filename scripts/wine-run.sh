#!/usr/bin/env bash
# Runs a Windows program in the test session of DIR (see wine-session.sh):
#   wine-run.sh DIR program.exe [arguments]
set -euo pipefail
dir=${1:?session folder}
shift
if [ ! -f "$dir/env" ]; then
    echo "no Wine session in $dir: start one with scripts/wine-session.sh start $dir" >&2
    exit 2
fi
# shellcheck disable=SC1091
. "$dir/env"
exec wine "$@"
