#!/bin/sh
# Explorer's thumbnails and preview pane under Wine: plotmira-thumbnails.dll
# registered with regsvr32 as a user would, then the test host does what
# Explorer does (the handler from the registry, CoCreateInstance, a stream,
# GetThumbnail), and the pictures are compared with the converter's
# thumbnails; the host plays the preview pane (fitted, resized, zoomed,
# dragged) against the library's views. Then the per-user form, and removal
# that leaves others' keys alone.
# usage: wine_thumbnail_test.sh WIN64_BUILD PLOTMIRA IMAGE_COMPARE SHOWCASE.jww WORK_DIR SUBSTITUTES
set -u
win64=$1 plotmira=$2 compare=$3 showcase=$4 work=$5 substitutes=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
dll="$win64/plotmira-thumbnails.dll"
[ -n "$win64" ] && [ -f "$win64/spihost.exe" ] && [ -f "$dll" ] || skip "the x86-64 Windows build is missing"
[ -x "$wine64_loader" ] || skip "wine64 is not installed"
command -v xvfb-run >/dev/null 2>&1 || skip "xvfb-run is not installed"

dir="$work/thumbnails64"
rm -rf "$dir"
mkdir -p "$dir"
figure="${showcase%.jww}.jws"
head -c 400 "$showcase" > "$dir/truncated.jww"
: > "$dir/empty.jww"
head -c 5000 /dev/zero | tr '\000' 'B' > "$dir/foreign.jww"
# A drawing of a version the reader does not draw: no thumbnail, the shell's icon.
cp "${showcase%showcase.jww}version250.jww" "$dir/version250.jww"
clsid='{3F0B8E51-6C2D-4A7B-9E14-52D8C1A7B640}'
handler='{e357fccd-a995-4576-b01f-234630154e96}'
preview_clsid='{3F0B8E52-6C2D-4A7B-9E14-52D8C1A7B640}'
preview_handler='{8895b1c6-b41f-4c1c-a562-0d564250836f}'

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
cat > "$dir/run.sh" <<INNER
#!/bin/sh
. "$here/wine_env.sh"
"$here/wine_prefix.sh" "$substitutes"
host() { wine64 "$win64/spihost.exe" "\$@"; }
# Wine's reg now and then ends without a word: a query that says nothing is asked again.
query() {
    for attempt in 1 2 3; do
        wine64 reg query "\$1" /s > "$dir/\$2.reg" 2>&1
        [ -s "$dir/\$2.reg" ] && break
    done
}
# Another program's association of .jww, there before us.
wine64 reg add 'HKLM\\Software\\Classes\\.jww' /ve /d JwwFile /f > /dev/null 2>&1
wine64 regsvr32 /s "Z:$dll"
echo "regsvr32 \$?" > "$dir/regsvr32.txt"
query 'HKLM\\Software\\Classes\\CLSID\\$clsid' machine-class
query 'HKLM\\Software\\Classes\\.jww' machine-jww
query 'HKLM\\Software\\Classes\\.jws' machine-jws
for size in 32 96 256 1024; do
    host --thumbnail "Z:$showcase" \$size "Z:$dir/drawing\$size.bmp" > "$dir/drawing\$size.log" 2>&1
done
host --thumbnail "Z:$figure" 256 "Z:$dir/figure256.bmp" > "$dir/figure256.log" 2>&1
for name in truncated empty foreign version250; do
    host --thumbnail "Z:$dir/\$name.jww" 256 "Z:$dir/\$name.bmp" > "$dir/\$name.log" 2>&1
done
WINEDEBUG=+gdi,+debugstr wine64 "$win64/spihost.exe" --thumbnail-threads "Z:$showcase" 256 4 50 > "$dir/threads.log" 2> "$dir/trace.txt"
query 'HKLM\\Software\\Classes\\CLSID\\$preview_clsid' machine-preview-class
query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers' machine-preview-list
host --preview-pane "Z:$showcase" "Z:$dll" "Z:$win64/plotmira.sph" > "$dir/pane-drawing.log" 2>&1
host --preview-pane "Z:$figure" "Z:$dll" "Z:$win64/plotmira.sph" > "$dir/pane-figure.log" 2>&1
for name in truncated empty foreign version250; do
    host --preview-pane "Z:$dir/\$name.jww" "Z:$dll" > "$dir/pane-\$name.log" 2>&1
done
WINEDEBUG=+gdi,+debugstr wine64 "$win64/spihost.exe" --preview-cycles "Z:$showcase" "Z:$dll" 200 > "$dir/cycles.log" 2> "$dir/pane-trace.txt"
wine64 regsvr32 /u /s "Z:$dll"
query 'HKLM\\Software\\Classes\\CLSID\\$clsid' machine-class-after
query 'HKLM\\Software\\Classes\\.jww' machine-jww-after
query 'HKLM\\Software\\Classes\\.jws' machine-jws-after
query 'HKLM\\Software\\Classes\\CLSID\\$preview_clsid' machine-preview-class-after
query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers' machine-preview-list-after
wine64 reg delete 'HKLM\\Software\\Classes\\.jww' /f > /dev/null 2>&1
# The per-user form: only the user's classes, and the object from the DLL itself.
wine64 regsvr32 /s /n /i:user "Z:$dll"
query 'HKCU\\Software\\Classes\\CLSID\\$clsid' user-class
query 'HKCU\\Software\\Classes\\.jww' user-jww
query 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers' user-preview-list
query 'HKLM\\Software\\Classes\\CLSID\\$clsid' machine-class-per-user
host --thumbnail "Z:$showcase" 256 "Z:$dir/direct256.bmp" "Z:$dll" > "$dir/direct256.log" 2>&1
wine64 regsvr32 /u /s /n /i:user "Z:$dll"
query 'HKCU\\Software\\Classes\\CLSID\\$clsid' user-class-after
query 'HKCU\\Software\\Classes\\.jww' user-jww-after
wineserver -w
INNER
chmod +x "$dir/run.sh"
LC_ALL=C.UTF-8 timeout 600 xvfb-run -a -s "-screen 0 1920x1080x24" "$dir/run.sh" || fail "the Wine run did not finish"
for f in "$dir"/*.txt "$dir"/*.log "$dir"/*.reg; do
    case $f in */trace.txt | */pane-trace.txt) continue ;; esac
    echo "--- $f"; tr -d '\r' < "$f"
done

has() { tr -d '\r' < "$dir/$1" | grep -q -- "$2" || fail "$1: no \"$2\""; }
lacks() { tr -d '\r' < "$dir/$1" | grep -q -- "$2" && fail "$1: \"$2\" is still there"; }
has regsvr32.txt "regsvr32 0"
has machine-class.reg "InprocServer32"
has machine-class.reg "ThreadingModel    REG_SZ    Apartment"
has machine-class.reg "plotmira-thumbnails.dll"
has machine-jww.reg "$handler"
has machine-jww.reg "$clsid"
has machine-jws.reg "$clsid"
export PLOTMIRA_REGISTRY="$dir/native-registry.reg" PLOTMIRA_DESKTOP_WIDTH=1920
for size in 32 96 256 1024; do
    has "drawing$size.log" "GetThumbnail $size: hr 0x00000000"
    has "drawing$size.log" "alpha 1"  # WTSAT_RGB
    has "drawing$size.log" "windows before 0 after 0"
    "$plotmira" thumbnail -s "$size" "$showcase" "$dir/native$size.png" || fail "native thumbnail at $size"
    "$compare" "$dir/drawing$size.bmp" "$dir/native$size.png" "$dir/diff$size.png" --allow 0.005 ||
        fail "the $size-pixel thumbnail differs from the converter's"
done
"$plotmira" thumbnail -s 256 "$figure" "$dir/native-figure256.png" || fail "native thumbnail of the figure"
"$compare" "$dir/figure256.bmp" "$dir/native-figure256.png" --allow 0.005 || fail "the figure's thumbnail differs"
for name in truncated empty foreign version250; do
    tr -d '\r' < "$dir/$name.log" | grep -q "GetThumbnail 256: hr 0x8" || fail "$name stream did not fail"
    has "$name.log" "windows before 0 after 0"
done
has threads.log "threads 4 x 50 thumbnails: 200 equal to the first, windows left 0"
handles_flat() { # TRACE WHAT: the live GDI handles at the trace's two marks are as many
    counts=$(gdi_handles_around_marks "$1")
    echo "$2: live GDI handles before and after: $counts"
    set -- $counts "$2"
    [ -n "${1:-}" ] && [ "${1:-x}" = "${2:-y}" ] || fail "GDI handles leaked over $3: $counts"
}
handles_flat "$dir/trace.txt" "four threads"
rm -f "$dir/trace.txt"
# The preview handler: registered for the surrogate, listed, named by both extensions.
has machine-preview-class.reg "AppID    REG_SZ    {6d2b5079-2f0b-48dd-ab7f-97cec514d30b}"
has machine-preview-class.reg "ThreadingModel    REG_SZ    Apartment"
has machine-preview-list.reg "$preview_clsid    REG_SZ    Plotmira preview handler"
has machine-jww.reg "$preview_handler"
has machine-jws.reg "$preview_clsid"
for name in drawing figure; do
    for step in fitted resized zoomed dragged; do has "pane-$name.log" "^$step [0-9x]*: same"; done
    has "pane-$name.log" "unloaded: no window left"
done
for name in truncated empty foreign version250; do
    has "pane-$name.log" "DoPreview 0x00000000, window made"
    has "pane-$name.log" "unloaded: no window left"
    tr -d '\r' < "$dir/pane-$name.log" | grep -q "^message: [2-9]" || fail "pane-$name.log: no message drawn"
done
has cycles.log "200 previews, 0 failed, windows of this thread \([0-9]*\) before and \1 after"
handles_flat "$dir/pane-trace.txt" "200 previews"
rm -f "$dir/pane-trace.txt"
lacks machine-preview-class-after.reg "InprocServer32"
lacks machine-preview-list-after.reg "$preview_clsid"
lacks machine-jww-after.reg "$preview_handler"
lacks machine-class-after.reg "InprocServer32"
lacks machine-jww-after.reg "$handler"
lacks machine-jws-after.reg "$handler"
has machine-jww-after.reg "JwwFile"
has user-class.reg "plotmira-thumbnails.dll"
has user-jww.reg "$clsid"
has user-jww.reg "$preview_clsid"
has user-preview-list.reg "$preview_clsid"
lacks machine-class-per-user.reg "InprocServer32"
has direct256.log "GetThumbnail 256: hr 0x00000000"
"$compare" "$dir/direct256.bmp" "$dir/drawing256.bmp" || fail "the per-user object draws otherwise"
lacks user-class-after.reg "InprocServer32"
lacks user-jww-after.reg "$handler"

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
echo "Explorer thumbnails and preview pane under Wine: all cases passed"
