#!/bin/sh
# Builds the Debian packages from debian/ with dpkg-buildpackage in a copy
# of the source tree (the files git knows, as they are in the work tree),
# and puts the .deb files, the .changes and the build log in dist/debian/.
# Needs build-essential and the Build-Depends of debian/control
# (apt-get build-dep ./ installs them; scripts/setup.sh all has them).
# usage: build_debian.sh [OUT_DIR]    extra dpkg-buildpackage options in
#                                     DEB_BUILD_OPTIONS (nocheck, parallel=N)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/dist/debian}
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/plotmira-$version" "$out"
out=$(cd "$out" && pwd)
(cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - --no-recursion) |
    tar -C "$work/plotmira-$version" -xf -
export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-parallel=$(nproc 2>/dev/null || echo 2)}"
started=$(date +%s)
(cd "$work/plotmira-$version" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 || {
    tail -60 "$work/build.log"
    cp "$work/build.log" "$out/build.log"
    echo "build_debian: dpkg-buildpackage failed (log: $out/build.log)" >&2
    exit 1
}
rm -f "$out"/*.deb "$out"/*.changes "$out"/*.buildinfo
cp "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out/"
cp "$work/build.log" "$out/build.log"
echo "built in $(($(date +%s) - started)) s: $(cd "$out" && ls *.deb | tr '\n' ' ')"
