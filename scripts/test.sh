#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test under Wine.
# Exits non-zero when any test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/setup.sh"
BUILD_DIR=$build "$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure "$@"
