#!/bin/sh
# Installs the Debian packages the project needs (only those missing) and
# builds everything: native, both Windows plug-ins, and the sanitizer build.
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
exec "$root/scripts/build.sh"
