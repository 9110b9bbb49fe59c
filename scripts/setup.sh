#!/bin/sh
# Installs the Debian packages the project needs (only those missing), the
# 32-bit side of Wine, and builds everything: native, both Windows plug-ins
# and their test hosts, and the sanitizer build.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
missing=""
for package in $(cat "$root/scripts/packages.txt"); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi
# The 32-bit side of Wine, for running the i686 plug-in (where Wine is there).
if command -v wine >/dev/null 2>&1; then
    "$root/scripts/setup_wine32.sh"
fi
exec "$root/scripts/build.sh"
