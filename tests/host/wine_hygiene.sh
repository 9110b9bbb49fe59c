#!/bin/sh
# A thousand conversions in one process under Wine, good, damaged and
# foreign files mixed: the live GDI handles (from Wine's own +gdi trace) and
# the thread's windows must be where they were.
# usage: wine_hygiene.sh WIN64_BUILD SHOWCASE.jww WORK_DIR SUBSTITUTES
set -u
win64=$1 showcase=$2 work=$3 substitutes=$4
here=$(cd "$(dirname "$0")" && pwd)
skip() {
    if [ "${PLOTMIRA_REQUIRE_WINE:-0}" = 1 ]; then echo "FAIL: $*"; exit 1; fi
    echo "SKIP: $*"
    exit 77
}
[ -n "$win64" ] && [ -f "$win64/spihost.exe" ] || skip "the x86-64 Windows build is missing"
command -v wine >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"

dir="$work/hygiene"
rm -rf "$dir"
mkdir -p "$dir"
"$here/hygiene_inputs.sh" "$dir" "$showcase"

export WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
cat > "$dir/run.sh" <<INNER
#!/bin/sh
. "$here/wine_env.sh"
WINEDEBUG=-all "$here/wine_prefix.sh" "$substitutes"
WINEDEBUG=+gdi,+debugstr wine64 "$win64/spihost.exe" "Z:$win64/plotmira.sph" --hygiene "Z:$dir/list.txt" 1000 \
    > "$dir/out.txt" 2> "$dir/trace.fifo.txt"
status=\$?
wineserver -w
exit \$status
INNER
chmod +x "$dir/run.sh"
. "$here/wine_env.sh"
LC_ALL=C.UTF-8 xvfb-run -a "$dir/run.sh"
status=$?
cat "$dir/out.txt"
# The live handle count Wine reports with its last allocation or release
# before each mark.
counts=$(gdi_handles_around_marks "$dir/trace.fifo.txt")
rm -f "$dir/trace.fifo.txt"
echo "live GDI handles before and after: $counts"
set -- $counts
[ "$status" -eq 0 ] || { echo "FAIL: spihost reported a change in windows or failed"; exit 1; }
[ -n "${1:-}" ] && [ "${1:-x}" = "${2:-y}" ] || { echo "FAIL: GDI handles leaked: $counts"; exit 1; }
grep -q "1000 conversions" "$dir/out.txt" || { echo "FAIL: the conversions did not run"; exit 1; }
echo "hygiene under Wine: flat"
