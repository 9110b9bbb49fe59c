#!/bin/sh
# The Windows plug-in under Wine (real GDI) against the native converter, and
# a static check of both plug-ins' export tables.
# usage: wine_test.sh WIN64_BUILD WIN32_BUILD PLOTMIRA IMAGE_COMPARE SHOWCASE.jww CORPUS_DIR WORK_DIR
# Skips (exit 77) when Wine or the Windows builds are missing, unless
# PLOTMIRA_REQUIRE_WINE=1, which turns the skip into a failure.
set -u
win64=$1 win32=$2 plotmira=$3 compare=$4 showcase=$5 corpus=$6 work=$7

skip() {
    if [ "${PLOTMIRA_REQUIRE_WINE:-0}" = 1 ]; then
        echo "FAIL: $* (PLOTMIRA_REQUIRE_WINE=1 forbids skipping the Wine tests)"
        exit 1
    fi
    echo "SKIP: $*"
    exit 77
}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -n "$win64" ] && [ -f "$win64/plotmira.sph" ] && [ -f "$win64/spihost.exe" ] ||
    skip "the x86-64 Windows build is missing (configure with PLOTMIRA_WINDOWS_BUILD_DIR)"
[ -n "$win32" ] && [ -f "$win32/plotmira.spi" ] ||
    skip "the i686 Windows build is missing (configure with PLOTMIRA_WINDOWS32_BUILD_DIR)"
command -v wine >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"

# --- static: undecorated export names in both widths --------------------------
check_exports() { # OBJDUMP PLUGIN
    names=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 {print $NF}' | sort | tr '\n' ' ')
    [ "$names" = "GetPicture GetPictureInfo GetPluginInfo GetPreview IsSupported " ] ||
        fail "$2 exports: $names"
}
check_exports i686-w64-mingw32-objdump "$win32/plotmira.spi"
check_exports x86_64-w64-mingw32-objdump "$win64/plotmira.sph"
# The i686 exports must resolve to the stdcall functions.
i686-w64-mingw32-objdump -p "$win32/plotmira.spi" | grep -q 'i386' || fail "plotmira.spi is not an i686 image"

# --- dynamic: real GDI under Wine ----------------------------------------------
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
out="$work/out"
rm -rf "$out"
mkdir -p "$out"
winpath() { printf 'Z:%s' "$1"; }

inputs="$showcase"
test2="$corpus/raw/monozukuri-ai__ezjww/Test2.jww"
[ -f "$test2" ] && inputs="$inputs $test2"

# One X server for the whole run; every Wine start inside it.
cat > "$work/run.sh" <<INNER
#!/bin/sh
[ -f "$WINEPREFIX/system.reg" ] || wine wineboot -u >/dev/null 2>&1
wineserver -w
status=0
n=0
for input in $inputs; do
    n=\$((n + 1))
    wine "$win64/spihost.exe" "$(winpath "$win64/plotmira.sph")" "Z:\$input" "$(winpath "$out")/full\$n.bmp" --repeat 2 > "$out/full\$n.log" 2>&1 || status=1
    wine "$win64/spihost.exe" "$(winpath "$win64/plotmira.sph")" "Z:\$input" "$(winpath "$out")/preview\$n.bmp" --preview > "$out/preview\$n.log" 2>&1 || status=1
done
wine "$win64/spihost.exe" "$(winpath "$win64/plotmira.sph")" "Z:$showcase" "$(winpath "$out")/cancel.bmp" --cancel-at 0 > "$out/cancel.log" 2>&1
wineserver -w
exit \$status
INNER
chmod +x "$work/run.sh"
xvfb-run -a -s "-screen 0 1920x1080x24" "$work/run.sh" || fail "spihost reported a failure (logs in $out)"
for log in "$out"/*.log; do echo "--- $log"; cat "$log"; done

n=0
for input in $inputs; do
    n=$((n + 1))
    PLOTMIRA_DESKTOP_WIDTH=1920 "$plotmira" render "$input" -o "$out/native-full$n.png" || fail "native render of $input"
    PLOTMIRA_DESKTOP_WIDTH=1920 "$plotmira" render "$input" -o "$out/native-preview$n.png" --preview || fail "native preview of $input"
    "$compare" "$out/full$n.bmp" "$out/native-full$n.png" "$out/diff-full$n.png" || fail "$input: Wine and native pictures differ"
    "$compare" "$out/preview$n.bmp" "$out/native-preview$n.png" "$out/diff-preview$n.png" || fail "$input: Wine and native previews differ"
    grep -q "GetPictureInfo 0 width 1920 height 1357" "$out/full$n.log" || fail "$input: GetPictureInfo under Wine"
done
grep -q "GetPicture 1" "$out/cancel.log" || fail "a cancelling progress callback did not give 1 under Wine"

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "Wine: plug-in pictures equal the native ones"
