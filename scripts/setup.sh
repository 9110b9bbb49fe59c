#!/bin/sh
# Installs the Debian packages that are missing and builds.
#   setup.sh         the library and the converter (build/native), nothing more
#   setup.sh web     also the viewer in the browser (build/web): emscripten
#   setup.sh python  also the Python wheel (dist/): python3-build and friends
#   setup.sh all     everything the test suite needs: the two above, both
#                    Windows plug-ins and their test hosts, Wine with its
#                    32-bit side, the native tests, the sanitizer, fuzzing and
#                    thread-checking builds, the Debian packaging tools
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
part=${1:-core}
scripts="$root/scripts"
case $part in
core) lists="$scripts/packages-core.txt" ;;
web | python) lists="$scripts/packages-core.txt $scripts/packages-$part.txt" ;;
all) lists="$scripts/packages-core.txt $scripts/packages-web.txt $scripts/packages-python.txt $scripts/packages.txt" ;;
*) echo "usage: setup.sh [web|python|all]" >&2; exit 2 ;;
esac
missing=""
for package in $(cat $lists); do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if [ -n "$missing" ]; then
    echo "installing:$missing"
    # Tried again when a mirror in sync fails an index; then what was fetched serves.
    for attempt in 1 2 3; do $sudo apt-get update && break; sleep 20; done
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi
# npm, for the browser test's puppeteer-core: Debian's package, unless a
# Node.js that carries its own npm is installed.
if [ "$part" = all ] && ! command -v npm >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends npm
fi
# The 32-bit side of Wine, for running the i686 plug-in.
if [ "$part" = all ] && command -v wine >/dev/null 2>&1; then
    "$root/scripts/setup_wine32.sh"
fi
exec "$root/scripts/build.sh" "$part"
