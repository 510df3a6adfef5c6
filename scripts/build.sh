#!/usr/bin/env bash
# Configures and builds Vardenix twice: for 32-bit Windows in BUILD32_DIR
# (default: BUILD_DIR-32) and for 64-bit Windows in BUILD_DIR (default: build).
# The 64-bit build also makes the setup program VardenixSetup.exe, which
# carries both programs: the 32-bit build comes first, and its folder is
# handed to the 64-bit one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
build32=${BUILD32_DIR:-$build-32}

# ccache, where the machine has it, shares compiled objects between checkouts.
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=$root
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

configure_and_build() {
    local dir=$1 toolchain=$2
    shift 2
    cmake -S "$root" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
        "${launcher[@]}" \
        -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

configure_and_build "$build32" mingw-w64-i686.cmake
configure_and_build "$build" mingw-w64-x86_64.cmake -DVARDENIX_BUILD32_DIR="$build32"
