#!/bin/sh
# The i686 plug-in run for real by the i686 test host under 32-bit Wine, all
# cases in one start of the host (a start can cost a minute and more where
# the 32-bit side runs emulated): pictures against the native converter,
# memory input, the Unicode exports with a Japanese name, a cancelling
# callback, the settings file, the plug-in unpacked from the Windows
# package with its version resource, the settings dialog, a thumbnail from
# the i686 thumbnail provider, its preview pane, and a hygiene run with GDI handles and
# windows flat.
# usage: wine32_test.sh WIN32_BUILD PLOTMIRA IMAGE_COMPARE SHOWCASE.jww CORPUS_DIR WORK_DIR SUBSTITUTES PACKAGE_SCRIPT
# Skips (exit 77) when the 32-bit side is missing, unless PLOTMIRA_REQUIRE_WINE=1.
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
win32=$1 plotmira=$2 compare=$3 showcase=$4 corpus=${PLOTMIRA_CORPUS_DIR:-$5} work=$6 substitutes=$7 package=$8
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
. "$here/dialog_cases.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -n "$win32" ] && [ -f "$win32/plotmira.spi" ] && [ -f "$win32/spihost.exe" ] && [ -f "$win32/plotmira-thumbnails.dll" ] ||
    skip "the i686 Windows build is missing (configure with PLOTMIRA_WINDOWS32_BUILD_DIR)"
[ -x "$wine64_loader" ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"
wine32_ready || skip "32-bit Windows programs do not run here (scripts/setup_wine32.sh installs wine32)"

dir="$work/wine32"
rm -rf "$dir"
mkdir -p "$dir/out" "$dir/unicode" "$dir/settings"
out="$dir/out"
export WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64

made=$("$package" "$dir/dist") || { echo "FAIL: scripts/package.sh"; exit 1; }
zip=$(printf '%s\n' "$made" | grep 'windows\.zip$')
cmake -E chdir "$dir" cmake -E tar xf "$zip" || { echo "FAIL: cannot unpack $zip"; exit 1; }
unpacked="$dir/$(basename "$zip" .zip)"
version=$("$plotmira" --version | cut -d' ' -f2)

figure="${showcase%.jww}.jws"
macros="${showcase%showcase.jww}macros.jww"
japanese="$dir/unicode/図面テスト.jww"
cp "$macros" "$japanese"
cp "$showcase" "$dir/settings/Plotmira.jww"
printf 'Plotmira_ini\r\nSIZE_JWW=1200\r\n' > "$dir/settings/Plotmira.ini"
"$here/hygiene_inputs.sh" "$dir/hygiene" "$showcase"
test2="$corpus/raw/monozukuri-ai__ezjww/Test2.jww"
if [ ! -f "$test2" ]; then
    if [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ]; then fail "no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"; fi
    echo "note: corpus not found at $corpus; Test2.jww is left out"
    test2=""
fi

# The batch: log, then the host's arguments, separated by tabs.
plugin="Z:$win32/plotmira.spi"
tab=$(printf '\t')
case_line() { # LOG ARGS...
    log=$1
    shift
    line="Z:$out/$log.log"
    for arg in "$@"; do line="$line$tab$arg"; done
    printf '%s\n' "$line" >> "$dir/batch.txt"
}
: > "$dir/batch.txt"
case_line full-showcase "$plugin" "Z:$showcase" "Z:$out/full-showcase.bmp" --repeat 2
case_line preview-showcase "$plugin" "Z:$showcase" "Z:$out/preview-showcase.bmp" --preview
case_line figure "$plugin" "Z:$figure" "Z:$out/figure.bmp"
if [ -n "$test2" ]; then
    case_line full-test2 "$plugin" "Z:$test2" "Z:$out/full-test2.bmp"
    case_line preview-test2 "$plugin" "Z:$test2" "Z:$out/preview-test2.bmp" --preview
fi
case_line memory "$plugin" "Z:$showcase" "Z:$out/memory.bmp" --memory
case_line memory-unicode "$plugin" "Z:$showcase" "Z:$out/memory-unicode.bmp" --memory --unicode --preview
case_line unicode "$plugin" "Z:$japanese" "Z:$out/unicode.bmp" --unicode
case_line cancel "$plugin" "Z:$showcase" "Z:$out/cancel.bmp" --cancel-at 0
case_line reload "$plugin" --reload "Z:$showcase"
case_line package "Z:$unpacked/plotmira.spi" "Z:$showcase" "Z:$out/package.bmp" --preview
case_line version --version-of "Z:$unpacked/plotmira.spi"
case_line hygiene "$plugin" --hygiene "Z:$dir/hygiene/list.txt" 200
# Last, as they change the registry: the settings file, then a drawing at its width.
case_line settings "$plugin" "Z:$dir/settings/Plotmira.jww" "Z:$out/settings.bmp"
# Explorer's thumbnails from the i686 provider: registered, created through COM, removed.
case_line thumbnails-register --register "Z:$win32/plotmira-thumbnails.dll"
case_line thumbnail256 --thumbnail "Z:$showcase" 256 "Z:$out/thumbnail256.bmp"
case_line preview-pane --preview-pane "Z:$showcase" "Z:$win32/plotmira-thumbnails.dll" "$plugin"
case_line thumbnails-unregister --unregister "Z:$win32/plotmira-thumbnails.dll"
case_line after-settings --registry
case_line width1200 "$plugin" "Z:$showcase" "Z:$out/width1200.bmp"
# The settings dialog, as in the 64-bit run.
dialog_batch_lines "$dir/batch.txt" "$plugin" "$out" "$showcase"

cat > "$dir/run.sh" <<INNER
#!/bin/sh
. "$here/wine_env.sh"
WINEDEBUG=-all "$here/wine_prefix.sh" "$substitutes"
WINEDEBUG=-all wine64 reg delete 'HKCU\\Software\\Plotmira_spi' /f >/dev/null 2>&1
WINEDEBUG=+gdi,+debugstr wine32 "$win32/spihost.exe" --batch "Z:$dir/batch.txt" > "$dir/batch.out" 2> "$dir/trace.txt"
status=\$?
WINEDEBUG=-all wine64 reg delete 'HKCU\\Software\\Plotmira_spi' /f >/dev/null 2>&1
wineserver -w
exit \$status
INNER
chmod +x "$dir/run.sh"
started=$(date +%s)
LC_ALL=C.UTF-8 xvfb-run -a -s "-screen 0 1920x1080x24" "$dir/run.sh"
echo "32-bit batch: $(($(date +%s) - started)) s for $(wc -l < "$dir/batch.txt") cases in one start"
for log in "$out"/*.log; do echo "--- $log"; cat "$log"; done
# Every case ends in status 0 but the cancelled one, which ends in 1.
for log in "$out"/*.log; do
    expected=0
    [ "$(basename "$log")" = cancel.log ] && expected=1
    grep -q "^status $expected" "$log" || fail "$(basename "$log" .log): $(tail -2 "$log" | tr '\n' ' ')"
done
[ "$(ls "$out"/*.log | wc -l)" -eq "$(wc -l < "$dir/batch.txt")" ] || fail "not every case of the batch ran"

export PLOTMIRA_REGISTRY="$dir/native-registry.reg" PLOTMIRA_DESKTOP_WIDTH=1920
rm -f "$PLOTMIRA_REGISTRY"
same() { # WINE_BMP NATIVE_PNG WHAT: identical but for the smoothing of glyph edges
    "$compare" "$1" "$2" "${2%.png}-diff.png" --allow 0.005 || fail "$3: 32-bit Wine and native pictures differ"
}
against_native() { # NAME INPUT [RENDER OPTIONS...]
    name=$1 input=$2
    shift 2
    "$plotmira" render "$input" "$@" -o "$out/native-$name.png" || { fail "native render of $input"; return; }
    same "$out/$name.bmp" "$out/native-$name.png" "$name"
}
against_native full-showcase "$showcase"
against_native preview-showcase "$showcase" --preview
against_native figure "$figure"
if [ -n "$test2" ]; then
    against_native full-test2 "$test2"
    against_native preview-test2 "$test2" --preview
fi
against_native unicode "$japanese"
grep -q "GetPictureInfo 0 width 1920 height 1357" "$out/full-showcase.log" || fail "GetPictureInfo of the 32-bit plug-in"
"$compare" "$out/memory.bmp" "$out/full-showcase.bmp" > /dev/null || fail "memory input gives other pixels than file input"
grep -q "GetPreview 0" "$out/memory-unicode.log" || fail "memory input through the Unicode exports"
grep -q "GetPicture 1" "$out/cancel.log" || fail "a cancelling progress callback did not give 1"
grep -q "reload: equal pictures" "$out/reload.log" || fail "the plug-in loaded again elsewhere does not convert"
"$compare" "$out/package.bmp" "$out/preview-showcase.bmp" > /dev/null || fail "the plug-in from the package draws otherwise"
grep -q "^FileVersion: $version" "$out/version.log" || fail "the packaged plotmira.spi does not carry version $version"
grep -q "^OriginalFilename: plotmira.spi" "$out/version.log" || fail "the packaged plotmira.spi's original file name"
grep -q "registry SIZE_JWW: dword 1200" "$out/after-settings.log" || fail "the settings file did not write SIZE_JWW=1200 into the registry"
grep -q "GetPictureInfo 0 width 1200 height 848" "$out/width1200.log" || fail "the drawing after the settings file is not 1200 wide"

dialog_check "$out" "$version" 32-bit
grep -q "GetThumbnail 256: hr 0x00000000" "$out/thumbnail256.log" || fail "the i686 thumbnail provider made no thumbnail"
for step in fitted resized zoomed dragged; do
    tr -d '\r' < "$out/preview-pane.log" | grep -q "^$step [0-9x]*: same" || fail "the i686 preview pane, $step: $(cat "$out/preview-pane.log")"
done
"$plotmira" thumbnail -s 256 "$showcase" "$out/native-thumbnail256.png" || fail "native thumbnail"
same "$out/thumbnail256.bmp" "$out/native-thumbnail256.png" "the i686 provider's thumbnail"
grep -q "ConfigurationDlg present" "$out/full-showcase.log" || fail "the test host does not list ConfigurationDlg"
grep -q "200 conversions" "$out/hygiene.log" || fail "the hygiene run did not run"
grep -q "^status 0" "$out/hygiene.log" || fail "the hygiene run changed the thread's windows"
counts=$(gdi_handles_around_marks "$dir/trace.txt")
echo "32-bit hygiene: live GDI handles before and after: $counts"
set -- $counts
[ -n "${1:-}" ] && [ "${1:-x}" = "${2:-y}" ] || fail "GDI handles leaked in the 32-bit hygiene run: $counts"
rm -f "$dir/trace.txt"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "32-bit Wine: the i686 plug-in draws the native pictures"
