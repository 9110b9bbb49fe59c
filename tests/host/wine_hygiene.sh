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
cp "$showcase" "$dir/good.jww"
cp "${showcase%.jww}.jws" "$dir/figure.jws"
head -c 3000 "$showcase" > "$dir/cut.jww"
head -c 5000 /dev/zero | tr '\000' 'B' > "$dir/foreign.jww"
# The showcase with bytes of its object lists overwritten.
cp "$showcase" "$dir/damaged.jww"
size=$(wc -c < "$showcase")
pos=900
while [ "$pos" -lt "$size" ]; do
    printf '\377' | dd of="$dir/damaged.jww" bs=1 seek="$pos" conv=notrunc 2>/dev/null
    pos=$((pos + 397))
done
for f in good.jww figure.jws cut.jww foreign.jww damaged.jww; do printf 'Z:%s\n' "$dir/$f"; done > "$dir/list.txt"

export WINEPREFIX="$work/prefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
cat > "$dir/run.sh" <<INNER
#!/bin/sh
WINEDEBUG=-all "$here/wine_prefix.sh" "$substitutes"
WINEDEBUG=+gdi,+debugstr wine "$win64/spihost.exe" "Z:$win64/plotmira.sph" --hygiene "Z:$dir/list.txt" 1000 \
    > "$dir/out.txt" 2> "$dir/trace.fifo.txt"
status=\$?
wineserver -w
exit \$status
INNER
chmod +x "$dir/run.sh"
LC_ALL=C.UTF-8 xvfb-run -a "$dir/run.sh"
status=$?
cat "$dir/out.txt"
# The live handle count Wine reports with its last allocation or release
# before each mark.
counts=$(awk '/(allocated|freed) NTGDI_OBJ/ { split($NF, c, "/"); live = c[1] }
              /OutputDebugStringA "hygiene start/ { start = live }
              /OutputDebugStringA "hygiene end/ { end = live }
              END { print start, end }' "$dir/trace.fifo.txt")
rm -f "$dir/trace.fifo.txt"
echo "live GDI handles before and after: $counts"
set -- $counts
[ "$status" -eq 0 ] || { echo "FAIL: spihost reported a change in windows or failed"; exit 1; }
[ -n "${1:-}" ] && [ "${1:-x}" = "${2:-y}" ] || { echo "FAIL: GDI handles leaked: $counts"; exit 1; }
grep -q "1000 conversions" "$dir/out.txt" || { echo "FAIL: the conversions did not run"; exit 1; }
echo "hygiene under Wine: flat"
