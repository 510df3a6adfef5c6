#!/usr/bin/env bash
# Signs the update descriptions the updater tests serve, with the test key and
# the maker's own script, over the stand-in installer:
#   sign-test-descriptions.sh OUTPUT-FOLDER INSTALLER
# newer.ini offers 5.2.0.0 from installer.exe beside it; cut.ini and slow.ini
# offer the same file through the test server's broken and slow paths. All
# three run out as the script's own do, 30 days on: the build signs them anew
# each time. expired.ini ran out long ago, and old.ini names no last day, as
# one signed before descriptions had one.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sign=$here/../../scripts/sign-update.sh
key=$here/test-update-key.pem
out=$1 installer=$2
mkdir -p "$out"
for variant in newer:installer.exe cut:cut/installer.exe slow:slow/installer.exe; do
    "$sign" "$key" "$installer" 5.2.0.0 "${variant#*:}" "$here/notes.txt" >"$out/${variant%%:*}.ini"
done
"$sign" --expires 2020-01-31 "$key" "$installer" 5.2.0.0 installer.exe >"$out/expired.ini"

sed -e '/^expires=/d' -e '/^\[signature\]$/,$d' "$out/newer.ini" >"$out/old.body"
openssl dgst -sha256 -sign "$key" -out "$out/old.signature" "$out/old.body"
{
    cat "$out/old.body"
    echo "[signature]"
    echo "rsa-sha256=$(openssl base64 -A -in "$out/old.signature")"
} >"$out/old.ini"
rm "$out/old.body" "$out/old.signature"
