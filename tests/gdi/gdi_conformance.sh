#!/bin/sh
# Replays the GDI conformance cases through real GDI under Wine and through
# the portable layer, and compares every picture and the LineDDA points.
# usage: gdi_conformance.sh WIN64_BUILD NATIVE_RUNNER IMAGE_COMPARE CASES KNOWN_DIFFERENCES WORK_DIR SUBSTITUTES
set -u
win64=$1 runner=$2 compare=$3 cases=$4 known=$5 work=$6 substitutes=$7
here=$(cd "$(dirname "$0")/../host" && pwd)
skip() {
    if [ "${PLOTMIRA_REQUIRE_WINE:-0}" = 1 ]; then echo "FAIL: $*"; exit 1; fi
    echo "SKIP: $*"
    exit 77
}
[ -n "$win64" ] && [ -f "$win64/gdi_runner.exe" ] || skip "the x86-64 Windows build is missing"
command -v wine >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
rm -rf "$work/gdi-wine" "$work/gdi-native"
mkdir -p "$work/gdi-wine" "$work/gdi-native"
cat > "$work/gdi-run.sh" <<INNER
#!/bin/sh
. "$here/wine_env.sh"
"$here/wine_prefix.sh" "$substitutes"
wine64 "$win64/gdi_runner.exe" "Z:$cases" "Z:$work/gdi-wine"
status=\$?
wineserver -w
exit \$status
INNER
chmod +x "$work/gdi-run.sh"
xvfb-run -a "$work/gdi-run.sh" || { echo "FAIL: gdi_runner.exe under Wine"; exit 1; }
"$runner" "$cases" "$work/gdi-native" || { echo "FAIL: the native gdi_runner"; exit 1; }

failures=0 checked=0
for picture in "$work/gdi-wine"/*.bmp; do
    name=$(basename "$picture" .bmp)
    checked=$((checked + 1))
    result=$("$compare" "$picture" "$work/gdi-native/$name.bmp" "$work/gdi-native/$name-diff.png" | tail -1)
    differing=$(echo "$result" | sed -n 's/.*, \([0-9]*\) pixels differ/\1/p')
    allowed=$(awk -v n="$name" '$1 == n {print $2}' "$known")
    if [ -z "$differing" ]; then
        echo "FAIL: $name: $result"
        failures=$((failures + 1))
    elif [ "$differing" -gt "${allowed:-0}" ]; then
        echo "FAIL: $name: $differing pixels differ (allowed ${allowed:-0})"
        failures=$((failures + 1))
    elif [ "$differing" -ne 0 ]; then
        echo "known: $name: $differing pixels differ"
    fi
done
if ! cmp -s "$work/gdi-wine/dda.txt" "$work/gdi-native/dda.txt"; then
    echo "FAIL: LineDDA enumerates other points"
    diff "$work/gdi-wine/dda.txt" "$work/gdi-native/dda.txt" | head -10
    failures=$((failures + 1))
fi
[ "$checked" -gt 300 ] || { echo "FAIL: only $checked cases ran"; exit 1; }
if [ "$failures" -ne 0 ]; then echo "$failures of $checked cases failed"; exit 1; fi
echo "GDI conformance: $checked cases agree with real GDI"
