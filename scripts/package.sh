#!/bin/sh
# Makes the Windows download, plotmira-VERSION-windows.zip, from the builds
# of scripts/build.sh: both plug-ins, the README (Japanese, with an English
# section), the licence and SHA256SUMS, in one folder of the same name.
# usage: scripts/package.sh [OUT_DIR]      (default: dist/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/dist}
version=$(sed -n 's/^project(plotmira VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
for built in "$root/build/win32/plotmira.spi" "$root/build/win64/plotmira.sph"; do
    [ -f "$built" ] || { echo "package: $built is missing; run scripts/build.sh first" >&2; exit 1; }
done
name="plotmira-$version-windows"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
cp "$root/build/win32/plotmira.spi" "$root/build/win64/plotmira.sph" "$stage/$name/"
# Texts with CR LF line ends, the README as UTF-8 with a byte-order mark so
# that every Notepad reads its Japanese.
{ printf '\357\273\277'; sed "s/@VERSION@/$version/g; s/\$/\r/" "$root/packaging/windows/README.txt"; } > "$stage/$name/README.txt"
sed 's/$/\r/' "$root/LICENSE" > "$stage/$name/LICENSE.txt"
(cd "$stage/$name" && sha256sum plotmira.spi plotmira.sph README.txt LICENSE.txt > SHA256SUMS)
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out/$name.zip"
(cd "$stage" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
echo "$out/$name.zip"
