#!/bin/sh
# The Windows plug-in under Wine (real GDI) against the native converter, and
# a static check of both plug-ins' export tables.
# usage: wine_test.sh WIN64_BUILD WIN32_BUILD PLOTMIRA IMAGE_COMPARE SHOWCASE.jww CORPUS_DIR WORK_DIR SUBSTITUTES
#                     VIEW_RENDER SUSIE_LIBRARY (libplotmira-susie.so, the native plug-in exports)
# Skips (exit 77) when Wine or the Windows builds are missing, unless
# PLOTMIRA_REQUIRE_WINE=1, which turns the skip into a failure.
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
win64=$1 win32=$2 plotmira=$3 compare=$4 showcase=$5 corpus=${PLOTMIRA_CORPUS_DIR:-$6} work=$7 substitutes=$8 viewRender=$9 susie=${10}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -n "$win64" ] && [ -f "$win64/plotmira.sph" ] && [ -f "$win64/spihost.exe" ] ||
    skip "the x86-64 Windows build is missing (configure with PLOTMIRA_WINDOWS_BUILD_DIR)"
[ -n "$win32" ] && [ -f "$win32/plotmira.spi" ] ||
    skip "the i686 Windows build is missing (configure with PLOTMIRA_WINDOWS32_BUILD_DIR)"
command -v wine >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"

# --- static: undecorated export names in both widths --------------------------
# The interface's exports and the dialog, and every function the library's
# header declares.
library=$(sed -n 's/^PLOTMIRA_API [^(]*[ *]\(plotmira_[a-z_]*\)(.*/\1/p' "$(dirname "$0")/../../include/plotmira.h" | sort)
expected=$(printf '%s\n' ConfigurationDlg GetPicture GetPictureInfo GetPictureInfoW GetPictureW GetPluginInfo \
    GetPluginInfoW GetPreview GetPreviewW IsSupported IsSupportedW $library | sort | tr '\n' ' ')
check_exports() { # OBJDUMP PLUGIN
    names=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 {print $NF}' | sort | tr '\n' ' ')
    [ "$names" = "$expected" ] || fail "$2 exports: $names, not $expected"
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

inputs="$showcase ${showcase%showcase.jww}version250.jww"
test2="$corpus/raw/monozukuri-ai__ezjww/Test2.jww"
# Memory input of a real drawing where the corpus is there; else of the showcase.
memory_input=$showcase memory_reference=full1.bmp
if [ -f "$test2" ]; then
    inputs="$inputs $test2"
    memory_input=$test2 memory_reference=full3.bmp
elif [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ]; then
    fail "no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"
else
    echo "note: corpus not found at $corpus; its cases are left out"
fi
figure="${showcase%.jww}.jws"
settings="$work/settings"
rm -rf "$settings"
mkdir -p "$settings"
cp "$showcase" "$settings/Plotmira.jww"
printf 'Plotmira_ini\r\nSIZE_JWW=1200\r\n' > "$settings/Plotmira.ini"
plugin=$(winpath "$win64/plotmira.sph")
# A drawing whose texts show its own name, under a Japanese name and a plain one.
macros="${showcase%showcase.jww}macros.jww"
japanese="$work/unicode/図面テスト.jww"
rm -rf "$work/unicode"
mkdir -p "$work/unicode"
cp "$macros" "$japanese"
cp "$macros" "$work/unicode/plain.jww"
# Every corpus file (without the corpus, the project's own drawings), under a
# plain name (the Japanese names need the Unicode exports), keeping its
# extension: an upper-case one selects print mode.
corpusIn="$work/corpus-in"
rm -rf "$corpusIn"
mkdir -p "$corpusIn"
k=0
if [ -d "$corpus/raw" ]; then
    find "$corpus/raw" -type f \( -iname '*.jww' -o -iname '*.jws' \) | sort
else
    printf '%s\n' "$showcase" "$figure" "$macros"
fi | while IFS= read -r file; do
    k=$((k + 1))
    cp "$file" "$corpusIn/c$k.${file##*.}"
    echo "c$k.${file##*.} $file" >> "$corpusIn/names.txt"
done
o=$(winpath "$out")

# One X server for the whole run; every Wine start inside it. The test
# prefix's registry is reset first, then each settings case writes it as a
# user (or the settings file) would.
cat > "$work/run.sh" <<INNER
#!/bin/sh
. "$here/wine_env.sh"
"$here/wine_prefix.sh" "$substitutes"
wine64 reg delete 'HKCU\\Software\\Plotmira_spi' /f >/dev/null 2>&1
wine64 reg delete 'HKCU\\Software\\Jw_cad' /f >/dev/null 2>&1
spi() { wine64 "$win64/spihost.exe" "$plugin" "\$@"; }
status=0
n=0
for input in $inputs; do
    n=\$((n + 1))
    spi "Z:\$input" "$o/full\$n.bmp" --repeat 2 > "$out/full\$n.log" 2>&1 || status=1
    spi "Z:\$input" "$o/preview\$n.bmp" --preview > "$out/preview\$n.log" 2>&1 || status=1
done
spi "Z:$showcase" "$o/cancel.bmp" --cancel-at 0 > "$out/cancel.log" 2>&1
spi --reload "Z:$showcase" > "$out/reload.log" 2>&1 || status=1
spi "Z:$figure" "$o/figure-white.bmp" > "$out/figure-white.log" 2>&1 || status=1

spi "Z:$japanese" "$o/unicode.bmp" --unicode > "$out/unicode.log" 2>&1 || status=1
spi "Z:$work/unicode/plain.jww" "$o/plain.bmp" --unicode > "$out/plain.log" 2>&1 || status=1
spi "Z:$memory_input" "$o/memory.bmp" --memory > "$out/memory.log" 2>&1 || status=1
spi "Z:$memory_input" "$o/memory-unicode.bmp" --memory --unicode --preview > "$out/memory-unicode.log" 2>&1 || status=1
for input in "$corpusIn"/c*; do
    [ -f "\$input" ] || continue
    b=\$(basename "\$input")
    spi "Z:\$input" "$o/corpus-\$b.bmp" > "$out/corpus-\$b.log" 2>&1 || status=1
done
wine64 reg add 'HKCU\\Software\\Plotmira_spi\\ini' /v SIZE_JWW /t REG_DWORD /d 1000 /f >/dev/null 2>&1
wine64 reg add 'HKCU\\Software\\Jw_cad\\jw_win\\Pen' /v Color00 /t REG_SZ /d 000000 /f >/dev/null 2>&1
spi "Z:$showcase" "$o/width1000.bmp" > "$out/width1000.log" 2>&1 || status=1
spi "Z:$figure" "$o/figure-black.bmp" > "$out/figure-black.log" 2>&1 || status=1

spi "Z:$settings/Plotmira.jww" "$o/settings.bmp" > "$out/settings.log" 2>&1 || status=1
wine64 reg query 'HKCU\\Software\\Plotmira_spi\\ini' /v SIZE_JWW > "$out/registry.txt" 2>&1
spi "Z:$showcase" "$o/width1200.bmp" > "$out/width1200.log" 2>&1 || status=1
wine64 reg delete 'HKCU\\Software\\Plotmira_spi' /f >/dev/null 2>&1
wine64 reg delete 'HKCU\\Software\\Jw_cad' /f >/dev/null 2>&1
wineserver -w
exit \$status
INNER
chmod +x "$work/run.sh"
# UTF-8 on the Unix side, so that Wine hands the Japanese name over intact.
LC_ALL=C.UTF-8 xvfb-run -a -s "-screen 0 1920x1080x24" "$work/run.sh" || fail "spihost reported a failure (logs in $out)"
for log in "$out"/*.log "$out/registry.txt"; do echo "--- $log"; cat "$log"; done

native() { # OUTPUT [ARGS...] -- INPUT
    target=$1
    shift
    PLOTMIRA_DESKTOP_WIDTH=1920 "$plotmira" render "$@" -o "$target"
}
same() { # WINE_BMP NATIVE_PNG WHAT: identical but for the smoothing of glyph edges
    "$compare" "$1" "$2" "${2%.png}-diff.png" --allow 0.005 || fail "$3: Wine and native pictures differ"
}
export PLOTMIRA_REGISTRY="$work/native-registry.reg"
rm -f "$PLOTMIRA_REGISTRY"
n=0
for input in $inputs; do
    n=$((n + 1))
    grep -q "GetPictureInfo 0 width 1920 height 1357" "$out/full$n.log" || fail "$input: GetPictureInfo under Wine"
    if [ "${input##*/}" = version250.jww ]; then
        # The plug-in shows a version it does not draw as one line of text;
        # the converter refuses it. The native plug-in exports draw the line.
        if msg=$(native "$out/refused.png" "$input" 2>&1); then fail "the converter drew version 250"; fi
        case $msg in *"version 250 is not supported"*) ;; *) fail "version 250 message: $msg" ;; esac
        [ ! -e "$out/refused.png" ] || fail "the converter wrote a picture of version 250"
        printf '%s %s plugin
%s %s preview
' "$input" "$out/native-full$n.bmp" "$input" "$out/native-preview$n.bmp" \
            > "$out/version250.list"
        PLOTMIRA_DESKTOP_WIDTH=1920 "$viewRender" "$susie" "$out/version250.list" || fail "native plug-in exports on version 250"
        same "$out/full$n.bmp" "$out/native-full$n.bmp" "$input"
        same "$out/preview$n.bmp" "$out/native-preview$n.bmp" "$input (preview)"
        continue
    fi
    native "$out/native-full$n.png" "$input" || fail "native render of $input"
    native "$out/native-preview$n.png" "$input" --preview || fail "native preview of $input"
    same "$out/full$n.bmp" "$out/native-full$n.png" "$input"
    same "$out/preview$n.bmp" "$out/native-preview$n.png" "$input (preview)"
done
grep -q "GetPicture 1" "$out/cancel.log" || fail "a cancelling progress callback did not give 1 under Wine"
grep -q "reload: equal pictures" "$out/reload.log" || fail "the plug-in loaded again elsewhere does not convert"
native "$out/native-figure-white.png" "$figure" || fail "native render of the figure"
same "$out/figure-white.bmp" "$out/native-figure-white.png" "figure without CAD settings"

printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Plotmira_spi\\ini]\r\n"SIZE_JWW"=dword:000003e8\r\n\r\n[HKEY_CURRENT_USER\\Software\\Jw_cad\\jw_win\\Pen]\r\n"Color00"="000000"\r\n' > "$PLOTMIRA_REGISTRY"
grep -q "GetPictureInfo 0 width 1000 height 707" "$out/width1000.log" || fail "SIZE_JWW in the registry did not size the drawing under Wine"
native "$out/native-width1000.png" "$showcase" || fail "native render at 1000"
same "$out/width1000.bmp" "$out/native-width1000.png" "drawing at SIZE_JWW=1000"
native "$out/native-figure-black.png" "$figure" || fail "native render of the black figure"
same "$out/figure-black.bmp" "$out/native-figure-black.png" "figure with Color00=000000"
"$compare" "$out/figure-black.bmp" "$out/figure-white.bmp" >/dev/null && fail "Color00 did not change the figure's background"

rm -f "$PLOTMIRA_REGISTRY"
agreed=0
for input in "$corpusIn"/c*; do
    [ -f "$input" ] || continue
    b=$(basename "$input")
    native "$out/native-corpus-$b.png" "$input" || fail "native render of $b"
    # Text-free pictures agree exactly; with text, at least 99.5 % of the
    # pixels must (glyph edges are smoothed a little differently).
    if "$compare" "$out/corpus-$b.bmp" "$out/native-corpus-$b.png" "$out/diff-corpus-$b.png" --allow 0.005 > "$out/compare-$b.txt"; then
        agreed=$((agreed + 1))
    else
        fail "corpus $(grep "^$b " "$corpusIn/names.txt"): $(tail -1 "$out/compare-$b.txt")"
    fi
done
echo "corpus: $agreed files agree between Wine and the native build"
# Unicode exports: the Japanese name opens, and its "%f" shows it.
native "$out/native-unicode.png" "$japanese" || fail "native render of the Japanese name"
same "$out/unicode.bmp" "$out/native-unicode.png" "the Japanese file name through the Unicode exports"
"$compare" "$out/unicode.bmp" "$out/plain.bmp" > /dev/null && fail "the file-name macro did not show the Japanese name"
# Memory input: the same pixels as the file.
"$compare" "$out/memory.bmp" "$out/$memory_reference" || fail "memory input gives other pixels than file input"
grep -q "GetPreview 0" "$out/memory-unicode.log" || fail "memory input through the Unicode exports"
grep -qi "0x4b0" "$out/registry.txt" || fail "the settings file did not write SIZE_JWW=1200 into the registry"
grep -q "GetPictureInfo 0 width 1200 height 848" "$out/width1200.log" || fail "the next drawing is not 1200 wide"

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "Wine: plug-in pictures equal the native ones"
