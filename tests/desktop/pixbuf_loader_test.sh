#!/bin/sh
# The gdk-pixbuf loader, loaded by gdk-pixbuf itself from a module file made
# for the built loader, against the converter's pictures.
# gdk-pixbuf picks a loader by MIME type, so the test's own MIME database
# holds the project's package file.
# usage: pixbuf_loader_test.sh LOADER.so QUERY_LOADERS PROBE PLOTMIRA IMAGE_COMPARE EXAMPLES_DIR CORPUS_DIR MIME_XML
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
loader=$1 query=$2 probe=$3 plotmira=$4 compare=$5 examples=$6 corpus=${PLOTMIRA_CORPUS_DIR:-$7} mime_xml=$8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$query" "$loader" > "$work/loaders.cache" || { echo "gdk-pixbuf-query-loaders failed"; exit 1; }
grep -q '"application/x-jww"' "$work/loaders.cache" || fail "the module file does not list application/x-jww"
export GDK_PIXBUF_MODULE_FILE="$work/loaders.cache"
export XDG_DATA_DIRS="$work/share:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}" XDG_DATA_HOME="$work/home"
mkdir -p "$work/share/mime/packages"
cp "$mime_xml" "$work/share/mime/packages/"
update-mime-database "$work/share/mime" || { echo "update-mime-database failed"; exit 1; }
export PLOTMIRA_DESKTOP_WIDTH=1920 PLOTMIRA_REGISTRY="$work/registry.reg" WINEPREFIX=/nonexistent

same() { # NAME INPUT [PROBE ARGS...] -- CONVERTER ARGS...: the loader's picture equals the one
         # "plotmira CONVERTER ARGS... REFERENCE" writes
    name=$1 input=$2
    shift 2
    probe_args=""
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do probe_args="$probe_args $1"; shift; done
    shift
    # shellcheck disable=SC2086
    "$probe" "$input" "$work/$name-loader.bmp" $probe_args > "$work/$name.out" || { fail "$name: $(cat "$work/$name.out")"; return; }
    "$plotmira" "$@" "$work/$name-reference.png" || { fail "$name: plotmira $*"; return; }
    "$compare" "$work/$name-loader.bmp" "$work/$name-reference.png" > "$work/$name.cmp" || fail "$name: $(cat "$work/$name.cmp")"
}

same drawing "$examples/showcase.jww" -- render "$examples/showcase.jww" -o
same figure "$examples/showcase.jws" -- render "$examples/showcase.jws" -o
same requested-256 "$examples/showcase.jww" 256 180 -- thumbnail -s 256 "$examples/showcase.jww"
same requested-figure-400 "$examples/showcase.jws" 400 282 -- render "$examples/showcase.jws" --width 400 -o
test2="$corpus/raw/monozukuri-ai__ezjww/Test2.jww"
if [ -f "$test2" ]; then
    same test2 "$test2" -- render "$test2" -o
elif [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ]; then
    fail "no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"
else
    echo "note: corpus not found at $corpus; Test2.jww is left out"
fi

# A thumbnailer's request: the longer edge is 256, and it was drawn at 256.
"$probe" "$examples/showcase.jww" "$work/at-size.bmp" --at-size 256 > "$work/at-size.out" || fail "at-size 256: $(cat "$work/at-size.out")"
case $("$compare" --size "$work/at-size.bmp") in 256x18[01]) ;; *) fail "at-size 256 gave $("$compare" --size "$work/at-size.bmp")" ;; esac

# Broken, empty and foreign files: an error from gdk-pixbuf with the reason, never a crash.
head -c 300 "$examples/showcase.jww" > "$work/truncated.jww"
: > "$work/empty.jww"
printf 'JwwData.this is not a drawing at all, but text that starts like one and goes on for a while\n' > "$work/foreign.jww"
head -c 100 /dev/urandom > "$work/noise.jww"
for name in truncated empty foreign noise; do
    "$probe" "$work/$name.jww" "$work/$name.bmp" > "$work/$name.out" 2>&1
    status=$?
    [ $status -eq 1 ] || fail "$name file: exit $status, $(cat "$work/$name.out")"
    grep -q '^error: ' "$work/$name.out" || fail "$name file: no error message: $(cat "$work/$name.out")"
done
for name in truncated foreign; do
    grep -q 'damaged' "$work/$name.out" || fail "$name file: $(cat "$work/$name.out")"
done
# A drawing of a version the reader does not draw is no picture for GTK.
"$probe" "$examples/version250.jww" "$work/version250.bmp" > "$work/version250.out" 2>&1 &&
    fail "version 250 gave a picture"
grep -q "^error: .*version 250 is not supported" "$work/version250.out" || fail "version 250: $(cat "$work/version250.out")"
# Past the module's input limit: dropped as it comes, then called too large.
truncate -s 300M "$work/huge.jww"
printf 'JwwData.' | dd of="$work/huge.jww" conv=notrunc 2>/dev/null
"$probe" "$work/huge.jww" "$work/huge.bmp" > "$work/huge.out" 2>&1
grep -q "too large" "$work/huge.out" || fail "300 MiB file: $(cat "$work/huge.out")"
rm -f "$work/huge.jww"

[ $failures -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "pixbuf loader: all cases passed"
