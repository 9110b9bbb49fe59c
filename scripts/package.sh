#!/bin/sh
# Makes the Windows downloads from the builds of scripts/build.sh:
# plotmira-VERSION-windows.zip (both plug-ins, Explorer's shell DLL for
# 64-bit (x64/) and 32-bit (x86/) Windows, the README (Japanese, with an
# English section), the licence and SHA256SUMS, in one folder of the same
# name) and plotmira-VERSION-setup.exe, the installer of the same files
# (packaging/windows/plotmira.nsi; needs makensis); where build/web is
# there, plotmira-VERSION-web.zip, the browser viewer's static site. Prints
# the paths made, one a line.
# usage: scripts/package.sh [OUT_DIR]      (default: dist/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/dist}
version=$(sed -n 's/^project(plotmira VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
for built in "$root/build/win32/plotmira.spi" "$root/build/win64/plotmira.sph" \
             "$root/build/win32/plotmira-thumbnails.dll" "$root/build/win64/plotmira-thumbnails.dll"; do
    [ -f "$built" ] || { echo "package: $built is missing; run scripts/build.sh first" >&2; exit 1; }
done
name="plotmira-$version-windows"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/x64" "$stage/$name/x86"
cp "$root/build/win32/plotmira.spi" "$root/build/win64/plotmira.sph" "$stage/$name/"
cp "$root/build/win64/plotmira-thumbnails.dll" "$stage/$name/x64/"
cp "$root/build/win32/plotmira-thumbnails.dll" "$stage/$name/x86/"
# Texts with CR LF line ends, the README as UTF-8 with a byte-order mark so
# that every Notepad reads its Japanese.
{ printf '\357\273\277'; sed "s/@VERSION@/$version/g; s/\$/\r/" "$root/packaging/windows/README.txt"; } > "$stage/$name/README.txt"
sed 's/$/\r/' "$root/LICENSE" > "$stage/$name/LICENSE.txt"
(cd "$stage/$name" && sha256sum plotmira.spi plotmira.sph x64/plotmira-thumbnails.dll x86/plotmira-thumbnails.dll \
    README.txt LICENSE.txt > SHA256SUMS)
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out/$name.zip"
(cd "$stage" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
echo "$out/$name.zip"

if [ -f "$root/build/web/index.html" ]; then
    web="plotmira-$version-web"
    mkdir -p "$stage/$web"
    cp -R "$root/build/web/." "$stage/$web/"
    cp "$root/hosts/web/README.txt" "$stage/$web/README.txt"
    cp "$root/LICENSE" "$stage/$web/LICENSE.txt"
    rm -f "$out/$web.zip"
    (cd "$stage" && cmake -E tar cf "$out/$web.zip" --format=zip "$web")
    echo "$out/$web.zip"
fi

if ! command -v makensis >/dev/null 2>&1; then
    echo "package: makensis is not installed (Debian: nsis); no setup program" >&2
    exit 0
fi
setup="$out/plotmira-$version-setup.exe"
cp "$root/packaging/windows/plotmira.ico" "$stage/$name/"
rm -f "$setup"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage/$name" -DOUTFILE="$setup" \
    "$root/packaging/windows/plotmira.nsi" >&2
echo "$setup"
