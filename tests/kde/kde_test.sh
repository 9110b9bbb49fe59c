#!/bin/sh
# The KDE hosts as Qt and KDE load them, against the converter's pictures:
# QImageReader with the build's plug-in folder on QT_PLUGIN_PATH, the KIO
# thumbnailer through KPluginFactory, and KIO::filePreview with its worker.
# usage: kde_test.sh PROBE PLUGIN_DIR PLOTMIRA IMAGE_COMPARE EXAMPLES_DIR CORPUS_DIR MIME_XML
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
probe=$1 plugins=$2 plotmira=$3 compare=$4 examples=$5 corpus=${PLOTMIRA_CORPUS_DIR:-$6} mime_xml=$7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

export QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$plugins" KDE_FORK_SLAVES=yes HOME="$work/home"
export XDG_DATA_DIRS="$work/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" XDG_DATA_HOME="$work/home/data"
export XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export PLOTMIRA_DESKTOP_WIDTH=1920 PLOTMIRA_REGISTRY="$work/registry.reg" WINEPREFIX=/nonexistent
mkdir -p "$work/share/mime/packages" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$mime_xml" "$work/share/mime/packages/"
update-mime-database "$work/share/mime" || { echo "update-mime-database failed"; exit 1; }

same() { # WHAT PICTURE REFERENCE: two pictures with the same pixels
    "$compare" "$2" "$3" > "$work/compare.out" 2>&1 || fail "$1: $(cat "$work/compare.out")"
}
read_as() { # NAME INPUT [OPTIONS]: QImageReader's picture into $work/NAME.png
    name=$1 input=$2
    shift 2
    "$probe" read "$input" "$work/$name.png" "$@" > "$work/$name.out" 2>&1 || fail "$name: $(cat "$work/$name.out")"
}

"$probe" mimetypes > "$work/mimetypes"
for type in application/x-jww application/x-jws; do
    grep -qx "$type" "$work/mimetypes" || fail "supportedMimeTypes() lacks $type"
done

# Natural size, a thumbnail's size, clip rectangles: the converter's pixels.
set -- "$examples/showcase.jww" "$examples/showcase.jws"
for input in "$corpus"/raw/monozukuri-ai__ezjww/Test2.jww "$corpus"/raw/monozukuri-ai__ezjww/Ａマンション25d.jww \
             "$corpus"/raw/KEINOS__Jw_cad-for-Mac/立木-H00.3.JWS "$corpus"/raw/jdu211171__jw_cad/火打ち材.jws; do
    if [ -f "$input" ]; then
        set -- "$@" "$input"
    elif [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ]; then
        fail "no $input (PLOTMIRA_REQUIRE_CORPUS=1)"
    fi
done
n=0
for input in "$@"; do
    n=$((n + 1))
    "$plotmira" render "$input" -o "$work/ref$n.png" || { fail "plotmira render $input"; continue; }
    read_as natural$n "$input"
    same "natural $input" "$work/natural$n.png" "$work/ref$n.png"
    size=$("$compare" --size "$work/ref$n.png")
    grep -q "^size $size\$" "$work/natural$n.out" || fail "Size of $input: $(head -1 "$work/natural$n.out"), not $size"
    "$plotmira" thumbnail -s 256 "$input" "$work/thumb$n.png" || fail "plotmira thumbnail $input"
    read_as scaled$n "$input" --scaled 256 180
    same "ScaledSize 256x180 of $input" "$work/scaled$n.png" "$work/thumb$n.png"
    read_as clip$n "$input" --clip 300 150 640 480
    "$probe" crop "$work/ref$n.png" "$work/ref-clip$n.png" 300 150 640 480 > /dev/null
    same "ClipRect of $input" "$work/clip$n.png" "$work/ref-clip$n.png"
    "$plotmira" render "$input" --width 960 -o "$work/ref960-$n.png" || fail "plotmira render --width 960 $input"
    read_as scaledclip$n "$input" --scaled 960 678 --scaled-clip 100 50 400 300
    "$probe" crop "$work/ref960-$n.png" "$work/ref960-clip$n.png" 100 50 400 300 > /dev/null
    same "ScaledClipRect of $input" "$work/scaledclip$n.png" "$work/ref960-clip$n.png"
done

# As Gwenview reads: a second reader on the buffer the first one asked the size of.
"$probe" read-buffer "$examples/showcase.jww" "$work/buffer.png" > "$work/buffer.out" 2>&1 ||
    fail "a second reader on the same buffer: $(cat "$work/buffer.out")"
same "a second reader on the same buffer" "$work/buffer.png" "$work/ref1.png"

# Broken, empty, foreign and noise files: a failed read, never a crash.
head -c 300 "$examples/showcase.jww" > "$work/truncated.jww"
: > "$work/empty.jww"
printf 'JwwData.this is not a drawing at all, but text that starts like one\n' > "$work/foreign.jww"
head -c 4096 /dev/urandom > "$work/noise.jww"
cp "$examples/version250.jww" "$work/version250.jww"
for name in truncated empty foreign noise version250; do
    "$probe" read "$work/$name.jww" "$work/$name.png" > "$work/$name.out" 2>&1
    status=$?
    [ $status -eq 1 ] && grep -q '^error: ' "$work/$name.out" || fail "$name file: exit $status, $(cat "$work/$name.out")"
done
grep -q "damaged" "$work/truncated.out" || fail "truncated file: $(cat "$work/truncated.out")"
grep -q "version 250 is not supported" "$work/version250.out" || fail "version 250: $(cat "$work/version250.out")"

# Dolphin's thumbnailer, loaded from its file, then through KIO itself.
thumbnailer=$(find "$plugins" -name 'plotmirathumbnail.so' | head -1)
"$plotmira" thumbnail -s 256 "$examples/showcase.jww" "$work/cli-thumb.png"
"$probe" thumbnail "$thumbnailer" "$examples/showcase.jww" "$work/kio-thumb.png" 256 > "$work/kio-thumb.out" 2>&1 ||
    fail "thumbnailer: $(cat "$work/kio-thumb.out")"
same "thumbnailer" "$work/kio-thumb.png" "$work/cli-thumb.png"
"$probe" thumbnail "$thumbnailer" "$work/truncated.jww" "$work/none.png" 256 > "$work/kio-bad.out" 2>&1 &&
    fail "the thumbnailer made a thumbnail of a damaged file"
if [ -f /usr/lib/x86_64-linux-gnu/qt5/plugins/kf5/kio/thumbnail.so ] || [ -n "$(find /usr/lib -path '*kf5/kio/thumbnail.so' 2>/dev/null | head -1)" ]; then
    cp "$examples/showcase.jww" "$work/plan.jww"
    "$probe" preview "$work/plan.jww" "$work/preview.png" 256 plotmirathumbnail > "$work/preview.out" 2>&1 ||
        fail "KIO::filePreview: $(cat "$work/preview.out")"
    [ "$("$compare" --size "$work/preview.png" 2>&1)" = 256x180 ] || fail "KIO preview size $("$compare" --size "$work/preview.png" 2>&1)"
    [ "$("$compare" --colors "$work/preview.png" 2>/dev/null || echo 0)" -ge 2 ] || fail "the KIO preview has no content"
elif [ "${PLOTMIRA_REQUIRE_ALL:-0}" = 1 ]; then
    fail "KIO's thumbnail worker is missing (kio-extras)"
else
    echo "note: KIO's thumbnail worker is missing (kio-extras); KIO::filePreview is left out"
fi

[ $failures -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "KDE hosts: all cases passed ($# files)"
