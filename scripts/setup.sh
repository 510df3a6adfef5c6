#!/usr/bin/env bash
# Prepares a Debian machine for building and testing Vardenix: the cross
# compilers for 64-bit and 32-bit Windows, 64-bit and 32-bit Wine, a virtual
# display, GoogleTest's sources, the installer builder and the Russian locale.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
    cmake make python3
    mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    wine wine64 wine32:i386
    xvfb xauth imagemagick x11-utils fonts-dejavu-core fonts-dejavu-extra
    locales googletest
    openssl
    fp-utils libchm-bin
    nsis
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The 32-bit build's tests run under 32-bit Wine, which Debian ships for i386.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture"
    as_root dpkg --add-architecture i386
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: ru_RU.UTF-8 gives 1251.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    echo "Generating the ru_RU.UTF-8 locale"
    grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
        echo 'ru_RU.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi
