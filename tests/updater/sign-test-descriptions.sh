#!/usr/bin/env bash
# Signs the update descriptions the updater tests serve, with the test key and
# the maker's own script, over the stand-in installer:
#   sign-test-descriptions.sh OUTPUT-FOLDER INSTALLER
# newer.ini offers 5.2.0.0 from installer.exe beside it; cut.ini and slow.ini
# offer the same file through the test server's broken and slow paths.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sign=$here/../../scripts/sign-update.sh
out=$1 installer=$2
mkdir -p "$out"
for variant in newer:installer.exe cut:cut/installer.exe slow:slow/installer.exe; do
    "$sign" "$here/test-update-key.pem" "$installer" 5.2.0.0 "${variant#*:}" "$here/notes.txt" >"$out/${variant%%:*}.ini"
done
