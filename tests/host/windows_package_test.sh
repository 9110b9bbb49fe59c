#!/bin/sh
# The Windows download as a user gets it: scripts/package.sh makes the zip,
# which is unpacked and checked: its files, their checksums, the README and
# licence, and the 64-bit plug-in loaded from the unpacked folder under Wine
# with its version resource. (The 32-bit plug-in from the same package is
# loaded in the 32-bit run.)
# usage: windows_package_test.sh WIN64_BUILD PLOTMIRA SHOWCASE.jww WORK_DIR SUBSTITUTES PACKAGE_SCRIPT
set -u
win64=$1 plotmira=$2 showcase=$3 work=$4 substitutes=$5 package=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ -n "$win64" ] && [ -f "$win64/spihost.exe" ] || skip "the x86-64 Windows build is missing"
[ -x "$wine64_loader" ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"

dir="$work/package"
rm -rf "$dir"
mkdir -p "$dir"
version=$("$plotmira" --version | cut -d' ' -f2)
made=$("$package" "$dir/dist") || { echo "FAIL: scripts/package.sh"; exit 1; }
zip=$(printf '%s\n' "$made" | grep 'windows\.zip$')
[ "$(basename "$zip")" = "plotmira-$version-windows.zip" ] || fail "the package is named $(basename "$zip")"
cmake -E chdir "$dir" cmake -E tar xf "$zip" || { echo "FAIL: cannot unpack $zip"; exit 1; }
unpacked="$dir/plotmira-$version-windows"
[ "$(ls "$dir" | sort | tr '\n' ' ')" = "dist plotmira-$version-windows " ] || fail "the zip holds more than its folder"
[ "$(cd "$unpacked" && find . -type f | sort | tr '\n' ' ')" = "./LICENSE.txt ./README.txt ./SHA256SUMS ./plotmira.sph ./plotmira.spi ./x64/plotmira-thumbnails.dll ./x86/plotmira-thumbnails.dll " ] ||
    fail "the package holds: $(cd "$unpacked" && find . -type f | tr '\n' ' ')"
(cd "$unpacked" && sha256sum -c --quiet SHA256SUMS) || fail "the checksums do not match"
# The browser viewer's site, where the web build is there: build/web whole.
site="$(dirname "$package")/../build/web"
if [ -f "$site/index.html" ]; then
    web=$(printf '%s\n' "$made" | grep 'web\.zip$')
    [ "$(basename "$web")" = "plotmira-$version-web.zip" ] || fail "no plotmira-$version-web.zip among: $made"
    mkdir -p "$dir/web"
    cmake -E chdir "$dir/web" cmake -E tar xf "$web" || fail "cannot unpack $web"
    diff -r -x README.txt -x LICENSE.txt "$site" "$dir/web/plotmira-$version-web" >/dev/null ||
        fail "the web zip does not hold build/web as it is"
    grep -q "http.server" "$dir/web/plotmira-$version-web/README.txt" || fail "the web zip's README does not say how to serve it"
fi
grep -q "Plotmira $version" "$unpacked/README.txt" || fail "the README does not name version $version"
grep -q "インストール" "$unpacked/README.txt" || fail "the README has no Japanese installation section"
grep -q "^English" "$unpacked/README.txt" || fail "the README has no English section"
grep -q "MIT License" "$unpacked/LICENSE.txt" || fail "the licence is not MIT"
for dll in plotmira.spi x86/plotmira-thumbnails.dll; do
    i686-w64-mingw32-objdump -f "$unpacked/$dll" | grep -q "pei-i386" || fail "$dll is not an i686 DLL"
done
for dll in plotmira.sph x64/plotmira-thumbnails.dll; do
    x86_64-w64-mingw32-objdump -f "$unpacked/$dll" | grep -q "pei-x86-64" || fail "$dll is not an x86-64 DLL"
done
grep -q "regsvr32" "$unpacked/README.txt" || fail "the README does not say how to register the thumbnails"
# Only the system's DLLs: nothing from the build machine goes along.
for dll in "$unpacked/plotmira.spi" "$unpacked/plotmira.sph" "$unpacked"/x*/plotmira-thumbnails.dll; do
    imports=$(x86_64-w64-mingw32-objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
    for import in $imports; do
        case $import in kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|msvcrt.dll|comdlg32.dll|ole32.dll|shell32.dll) ;;
            *) fail "$(basename "$dll") needs $import" ;; esac
    done
done

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
cat > "$dir/run.sh" <<INNER
#!/bin/sh
. "$here/wine_env.sh"
"$here/wine_prefix.sh" "$substitutes"
wine64 "$win64/spihost.exe" --version-of "Z:$unpacked/plotmira.sph" > "$dir/version.txt" 2>&1
wine64 "$win64/spihost.exe" --version-of "Z:$unpacked/x64/plotmira-thumbnails.dll" > "$dir/thumbnails-version.txt" 2>&1
wine64 "$win64/spihost.exe" "Z:$unpacked/plotmira.sph" "Z:$showcase" "Z:$dir/package.bmp" --preview > "$dir/load.txt" 2>&1
status=\$?
wineserver -w
exit \$status
INNER
chmod +x "$dir/run.sh"
xvfb-run -a "$dir/run.sh" || fail "the unpacked plotmira.sph does not convert under Wine: $(cat "$dir/load.txt")"
cat "$dir/version.txt"
grep -q "^FileVersion: $version" "$dir/version.txt" || fail "plotmira.sph does not carry version $version"
grep -q "^ProductVersion: $version" "$dir/version.txt" || fail "plotmira.sph's product version"
grep -q "^OriginalFilename: plotmira.sph" "$dir/version.txt" || fail "plotmira.sph's original file name"
grep -q "^FileVersion: $version" "$dir/thumbnails-version.txt" || fail "plotmira-thumbnails.dll does not carry version $version"
grep -q "^OriginalFilename: plotmira-thumbnails.dll" "$dir/thumbnails-version.txt" || fail "the thumbnail DLL's original file name"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "Windows package: complete, and its plug-ins load"
