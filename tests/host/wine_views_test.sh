#!/bin/sh
# Views through the library's interface under Wine (real GDI, the .sph's
# exports) against the same views drawn natively: the sheet fitted, and
# views at 1x, 4x and 16x the fit scale on the drawn part's centre, on
# corpus drawings with and without text and on the showcase. Text-free
# pictures must be identical; with text (zoomed onto a text), 99.5 % of
# the pixels must agree, 99 % at 16x.
# usage: wine_views_test.sh WIN64_BUILD VIEW_RENDER SHARED_LIBRARY PLOTMIRA IMAGE_COMPARE SHOWCASE.jww
#                           CORPUS_DIR WORK_DIR SUBSTITUTES
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
win64=$1 viewRender=$2 shared=$3 plotmira=$4 compare=$5 showcase=$6 corpus=${PLOTMIRA_CORPUS_DIR:-$7} work=$8 substitutes=$9
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ -n "$win64" ] && [ -f "$win64/plotmira.sph" ] && [ -f "$win64/view_render.exe" ] || skip "the x86-64 Windows build is missing"
[ -x "$wine64_loader" ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"

dir="$work/views"
rm -rf "$dir"
mkdir -p "$dir/in"
# Drawings that show text and drawings without text records, three of each.
cp "$showcase" "$dir/in/showcase.jww"
if [ -d "$corpus/raw" ]; then
    textFree=0 texted=0 k=0
    find "$corpus/raw" -type f -iname '*.jww' | sort > "$dir/corpus.txt"
    while IFS= read -r file; do
        info=$("$plotmira" info --texts "$file" 2>/dev/null) || continue
        case $info in *'"versionDrawn": true'*) ;; *) continue ;; esac
        k=$((k + 1))
        # Only drawings that show something on their sheet.
        echo "$file $dir/probe.bmp fit 480 339" > "$dir/probe.list"
        "$viewRender" "$shared" "$dir/probe.list" > /dev/null 2>&1 || continue
        [ "$("$compare" --colors "$dir/probe.bmp")" -gt 1 ] || continue
        case $info in
        *'"counts": {'*'"texts": 0, "dimensions": 0,'*)
            [ $textFree -lt 3 ] || continue
            textFree=$((textFree + 1))
            cp "$file" "$dir/in/plain$k.jww" ;;
        *'{"text": '*)
            [ $texted -lt 3 ] || continue
            texted=$((texted + 1))
            cp "$file" "$dir/in/text$k.jww" ;;
        esac
    done < "$dir/corpus.txt"
    [ $textFree -eq 3 ] && [ $texted -eq 3 ] || fail "the corpus has $textFree text-free and $texted texted drawings, not 3 each"
elif [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ]; then
    fail "no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"
else
    echo "note: corpus not found at $corpus; only the showcase is compared"
fi

: > "$dir/native.list"
: > "$dir/wine.list"
for input in "$dir/in"/*.jww; do
    b=$(basename "$input" .jww)
    # Drawings with text are zoomed onto a text.
    zoom=zoom
    case $b in plain*) ;; *) zoom=textzoom ;; esac
    for view in "fit 1024 723" "zoom 1024 768 1" "$zoom 1024 768 4" "$zoom 1024 768 16"; do
        name=$b-$(echo "$view" | tr ' ' '-')
        echo "$input $dir/native-$name.bmp $view" >> "$dir/native.list"
        echo "Z:$input Z:$dir/wine-$name.bmp $view" >> "$dir/wine.list"
    done
done

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
cat > "$dir/run.sh" <<INNER
#!/bin/sh
. "$here/wine_env.sh"
"$here/wine_prefix.sh" "$substitutes"
wine64 "$win64/view_render.exe" "Z:$win64/plotmira.sph" "Z:$dir/wine.list" > "$dir/wine.log" 2>&1
echo "view_render \$?" >> "$dir/wine.log"
wineserver -w
INNER
chmod +x "$dir/run.sh"
LC_ALL=C.UTF-8 xvfb-run -a -s "-screen 0 1920x1080x24" "$dir/run.sh"
grep -q "view_render 0" "$dir/wine.log" || fail "the views under Wine: $(cat "$dir/wine.log")"
export PLOTMIRA_DESKTOP_WIDTH=1920 PLOTMIRA_REGISTRY="$dir/registry.reg"
"$viewRender" "$shared" "$dir/native.list" > "$dir/native.log" 2>&1 || fail "the views natively: $(cat "$dir/native.log")"

compared=0
while read -r input native view; do
    name=${native##*/native-}
    case $name in
    plain*) allow=0 ;;  # text-free: exactly GDI's pixels
    # At 16x a text's glyphs are a hundred pixels tall and more: their
    # smoothed edges (and turned glyphs, which Wine places up to a pixel
    # apart) weigh more than on the whole sheet.
    *textzoom-*-16.bmp) allow=0.01 ;;
    *) allow=0.005 ;;
    esac
    if "$compare" "$dir/wine-$name" "$native" "$dir/diff-$name.png" --allow $allow > "$dir/compare-$name.txt"; then
        compared=$((compared + 1))
    else
        fail "$(basename "$input") $view: $(tail -1 "$dir/compare-$name.txt")"
    fi
done < "$dir/native.list"
echo "views: $compared pictures agree between Wine and the native build"
if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "Wine: views through the library's interface equal the native ones"
