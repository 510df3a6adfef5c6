#!/usr/bin/env bash
# Sets up the machine, builds both programs and runs every test under Wine:
# the 32-bit build's in a 32-bit Windows, the 64-bit build's (and the setup
# program's) in a 64-bit one. Arguments go to both ctest runs. Exits non-zero
# when any test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
build32=${BUILD32_DIR:-$build-32}

"$root/scripts/setup.sh"
BUILD_DIR=$build BUILD32_DIR=$build32 "$root/scripts/build.sh"
status=0
for dir in "$build32" "$build"; do
    echo "== tests of $(basename "$dir")"
    (cd "$dir" && ctest --output-on-failure "$@") || status=1
done
exit $status
