#!/usr/bin/env bash
# Runs a Windows program in the test session of DIR (see wine-session.sh):
#   wine-run.sh DIR program.exe [arguments]
# The program may be named by a Unix path inside the session's build tree,
# relative or not, from any folder (the repository's root, say): the
# session's only drive beside C: is Z:, which holds the build tree alone, so
# Wine reaches such a path only as its Z: path, which this script gives it.
set -euo pipefail
dir=${1:?session folder}
shift
if [ ! -f "$dir/env" ]; then
    echo "no Wine session in $dir: start one with scripts/wine-session.sh start $dir" >&2
    exit 2
fi
# shellcheck disable=SC1091
. "$dir/env"

tree=$(readlink -f "$WINEPREFIX/dosdevices/z:" 2>/dev/null || true)
if [ -n "$tree" ]; then
    if [ $# -gt 0 ] && [ -f "$1" ]; then
        program=$(readlink -f "$1")
        case $program in
        "$tree"/*)
            relative=${program#"$tree"/}
            shift
            set -- "Z:\\${relative//\//\\}" "$@"
            ;;
        esac
    fi
    # A working folder outside every drive makes Wine start the program in
    # C:\windows with a complaint; the build tree is one it can reach.
    case $(pwd -P)/ in
    "$tree"/*) ;;
    *) cd "$tree" ;;
    esac
fi
exec wine "$@"
