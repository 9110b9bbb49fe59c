#!/bin/sh
# The library in WebAssembly (under Node) against the native library: the
# showcase and every corpus drawing at the sheet width and at two zooms (8x
# about the middle of what is drawn, 3x about the first text), drawn by the
# same view program built both ways. Lines, arcs, solids and fills agree
# exactly; a glyph now and then lands 1/64 pixel apart (the two C
# libraries' sin, cos and hypot differ in the last bit), which shades a few
# of its edge pixels differently: at most 1 pixel in 10 000 may differ, and
# the log tells how many views are identical.
# usage: wasm_views_test.sh VIEW_RENDER LIBPLOTMIRA.so IMAGE_COMPARE WASM_BUILD SITE SHOWCASE.jww CORPUS_DIR WORK_DIR
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
native=$1 library=$2 compare=$3 wasm=$4 site=$5 showcase=$6 corpus=${PLOTMIRA_CORPUS_DIR:-$7} work=$8
. "$(dirname "$0")/web_env.sh"
require_web_build "$wasm/view_render.js"
dir="$work/wasm-views"
rm -rf "$dir"
mkdir -p "$dir"
export PLOTMIRA_REGISTRY="$dir/registry.reg" PLOTMIRA_DESKTOP_WIDTH=1920 PLOTMIRA_FONT_DIR="$site/fonts"
if [ ! -d "$corpus" ]; then
    [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ] && { echo "FAIL: no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"; exit 1; }
    echo "note: corpus not found at $corpus; the project's own drawings only"
fi
{
    echo "$showcase"
    echo "${showcase%.jww}.jws"
    if [ -d "$corpus" ]; then
        find "$corpus" -iname '*.jw[ws]' | sort
    else
        echo "${showcase%showcase.jww}macros.jww"
    fi
} > "$dir/inputs.txt"
n=0
while IFS= read -r f; do
    n=$((n + 1))
    echo "$f SIDE/$n-sheet.bmp fit 1920 1357"
    echo "$f SIDE/$n-zoom.bmp zoom 1920 1080 8"
    echo "$f SIDE/$n-text.bmp textzoom 1280 800 3"
done < "$dir/inputs.txt" > "$dir/views.txt"
mkdir -p "$dir/native" "$dir/wasm"
sed "s|SIDE/|$dir/native/|" "$dir/views.txt" > "$dir/native.txt"
sed "s|SIDE/|$dir/wasm/|" "$dir/views.txt" > "$dir/wasm.txt"
"$native" "$library" "$dir/native.txt" > "$dir/native.log"
node --no-experimental-fetch "$wasm/view_render.js" - "$dir/wasm.txt" > "$dir/wasm.log"
failures=0
views=0
identical=0
while read -r output outcome rest; do
    views=$((views + 1))
    twin="$dir/native/${output##*/}"
    if ! grep -qxF "$twin $outcome${rest:+ $rest}" "$dir/native.log"; then
        echo "FAIL: ${output##*/}: WebAssembly says \"$outcome $rest\", native \"$(grep -F "$twin " "$dir/native.log")\""
        failures=$((failures + 1))
    elif [ "$outcome" != ok ] || cmp -s "$output" "$twin"; then
        identical=$((identical + 1))
    else
        name=${output##*/}
        if ! verdict=$("$compare" "$twin" "$output" --allow 0.0001 2>&1); then
            echo "FAIL: $name ($(sed -n "${name%%-*}p" "$dir/inputs.txt")): $verdict"
            failures=$((failures + 1))
        else
            echo "$name: $(echo "$verdict" | tail -1)"
        fi
    fi
done < "$dir/wasm.log"
echo "$views views of $n inputs: $identical identical to the native pictures, $failures differ beyond the bound"
[ "$views" -eq $((n * 3)) ] || { echo "FAIL: $views views drawn of $((n * 3))"; exit 1; }
[ "$failures" -eq 0 ]
