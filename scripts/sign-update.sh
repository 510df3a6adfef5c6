#!/usr/bin/env bash
# Writes a signed update description (update.ini) for Tollupd.exe to standard output:
#   sign-update.sh [--expires YYYY-MM-DD] KEY.pem INSTALLER VERSION INSTALLER-ADDRESS [NOTES-FILE]
# --expires    the last day (UTC) on which the updater believes the description;
#              default 30 days from today. Sign a new one before it runs out.
# KEY.pem      the maker's private RSA key (never kept in this tree)
# INSTALLER    the installer file; its size and SHA-256 go into the description
# VERSION      the version it installs, for example 5.2.0.0
# INSTALLER-ADDRESS  where the updater downloads it: http:// or https://, or
#              relative to the description's own address
# NOTES-FILE   optional UTF-8 text of what is new, shown by the updater
# The format is described in src/updater/UpdateDescription.h; the signature is
# RSA PKCS #1 v1.5 over the SHA-256 of every byte before "[signature]".
set -euo pipefail

usage() {
    sed -n '2,13p' "$0" >&2
    exit 2
}
expires=$(date -u -d '+30 days' +%F)
if [ "${1:-}" = --expires ]; then
    [ $# -ge 2 ] || usage
    expires=$2
    shift 2
fi
if [ $# -lt 4 ] || [ $# -gt 5 ]; then
    usage
fi
key=$1 installer=$2 version=$3 address=$4 notes=${5:-}

[[ $version =~ ^[0-9]{1,9}(\.[0-9]{1,9}){0,7}$ ]] || { echo "bad version: $version" >&2; exit 2; }
[[ $address =~ ^[^[:space:]]+$ ]] || { echo "bad installer address: $address" >&2; exit 2; }
# A day of the calendar, written as the updater reads it.
[[ $expires =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] && [ "$(date -u -d "$expires" +%F 2>/dev/null)" = "$expires" ] ||
    { echo "bad expiry day: $expires" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

size=$(stat -c %s "$installer")
sha256=$(openssl dgst -sha256 -r "$installer" | cut -d' ' -f1)
{
    echo "; Vardenix update description"
    echo "[Tollmark]"
    echo "version=$version"
    echo "installer=$address"
    echo "size=$size"
    echo "sha256=$sha256"
    echo "expires=$expires"
    if [ -n "$notes" ]; then
        # One line: a backslash doubled, each line break (LF or CR LF) written as \n.
        printf 'notes=%s\n' "$(sed -e 's/\r$//' -e 's/\\/\\\\/g' "$notes" | awk 'NR > 1 { printf "\\n" } { printf "%s", $0 }')"
    fi
} >"$work/body"

openssl dgst -sha256 -sign "$key" -out "$work/signature" "$work/body"
cat "$work/body"
echo "[signature]"
echo "rsa-sha256=$(openssl base64 -A -in "$work/signature")"
