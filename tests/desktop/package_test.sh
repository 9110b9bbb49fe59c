#!/bin/sh
# The Debian package, installed as a user installs it: dpkg -i, then only
# what the system offers (PATH, the MIME database, gdk-pixbuf's loader cache,
# the thumbnailer, man), then dpkg -r, after which nothing of it is left.
# It changes the system, so it runs only as root and when asked
# (PLOTMIRA_INSTALL_TESTS=1, which .ci/run sets on its throwaway machine).
# usage: package_test.sh BUILD_DIR IMAGE_COMPARE EXAMPLES_DIR
set -u
build=$1 compare=$2 examples=$3
if [ "$(id -u)" -ne 0 ] || [ "${PLOTMIRA_INSTALL_TESTS:-}" != 1 ]; then
    echo "skipped: installs the package system-wide; run as root with PLOTMIRA_INSTALL_TESTS=1"
    exit 77
fi
work=$(mktemp -d)
chmod 755 "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
cleanup() { dpkg -r plotmira-kde plotmira > /dev/null 2>&1; rm -rf "$work"; }
trap cleanup EXIT

version=$("$build/plotmira" --version | cut -d' ' -f2)
arch=$(dpkg --print-architecture)
(cd "$build" && cpack -G DEB -B "$work/dist" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb="$work/dist/plotmira_${version}_${arch}.deb"
[ -f "$deb" ] || { echo "FAIL: no $deb"; ls "$work/dist"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libpng16 libfreetype libfontconfig libgdk-pixbuf fonts-ipafont-gothic fonts-ipafont-mincho; do
    case $depends in *"$needed"*) ;; *) fail "Depends lacks $needed: $depends" ;; esac
done

dpkg -i "$deb" > "$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

# From here on, nothing of the build tree: system paths and a clean environment.
cp "$examples/showcase.jww" "$work/plan.jww"
cp "$examples/showcase.jws" "$work/part.jws"
cp "$work/plan.jww" "$work/plan-without-extension"
cp "$work/part.jws" "$work/part-without-extension"
as_user() { env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
mkdir -p "$work/home"

as_user plotmira --version | grep -q "^plotmira $version\$" || fail "plotmira --version from PATH"
as_user plotmira thumbnail -s 256 "$work/plan.jww" "$work/cli-thumb.png" || fail "plotmira thumbnail from PATH"
[ "$("$compare" --size "$work/cli-thumb.png" 2>&1)" = 256x180 ] || fail "plotmira thumbnail size"

as_user gdk-pixbuf-thumbnailer -s 256 "$work/plan.jww" "$work/thumb.png" || fail "gdk-pixbuf-thumbnailer failed"
case $("$compare" --size "$work/thumb.png" 2>&1) in 256x18[01]) ;; *) fail "thumbnail size $("$compare" --size "$work/thumb.png" 2>&1)" ;; esac
colors=$("$compare" --colors "$work/thumb.png" 2>/dev/null || echo 0)
[ "$colors" -ge 2 ] || fail "the thumbnail has no content ($colors colours)"

mime_of() { as_user gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/.*standard::content-type: //p'; }
desktop_mime_of() { as_user env XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$1" 2>/dev/null; }
for pair in plan.jww:application/x-jww part.jws:application/x-jws \
            plan-without-extension:application/x-jww part-without-extension:application/x-jws; do
    file=${pair%%:*} expected=${pair#*:}
    [ "$(mime_of "$work/$file")" = "$expected" ] || fail "gio: $file is '$(mime_of "$work/$file")', not $expected"
    [ "$(desktop_mime_of "$work/$file")" = "$expected" ] || fail "xdg-mime: $file is '$(desktop_mime_of "$work/$file")', not $expected"
done
cp "$work/plan.jww" "$work/UPPER.JWW"
[ "$(mime_of "$work/UPPER.JWW")" = application/x-jww ] || fail "the glob is case-sensitive"

# The library for programs of their own: found by pkg-config and the loader.
cp "$(dirname "$0")/../../examples/zoomed_view.c" "$work/zoomed_view.c"
# shellcheck disable=SC2046
as_user sh -c "cc -std=c99 '$work/zoomed_view.c' \$(pkg-config --cflags --libs plotmira) -o '$work/zoomed_view'" ||
    fail "a C program does not build against the installed library"
as_user "$work/zoomed_view" "$work/plan.jww" "$work/zoomed.ppm" > "$work/layers.txt" || fail "the installed library"
[ "$(wc -l < "$work/layers.txt")" -eq 256 ] || fail "the installed library described no layers"
objdump -p "$(as_user sh -c 'pkg-config --variable=libdir plotmira')/libplotmira.so.1" | grep -q "SONAME *libplotmira.so.1" ||
    fail "libplotmira.so.1 has no SONAME"

as_user man -P cat plotmira > "$work/man.txt" 2>&1 || fail "man plotmira: $(head -3 "$work/man.txt")"
grep -q "thumbnail" "$work/man.txt" || fail "man plotmira does not describe thumbnail"
query=$(pkg-config --variable=gdk_pixbuf_query_loaders gdk-pixbuf-2.0)
moduledir=$(pkg-config --variable=gdk_pixbuf_moduledir gdk-pixbuf-2.0)
"$query" 2>/dev/null | grep -q "libpixbufloader-plotmira.so" || fail "gdk-pixbuf-query-loaders does not list the loader"
grep -q "libpixbufloader-plotmira.so" "$moduledir/../loaders.cache" || fail "the loader cache was not refreshed"

# The KDE package, where it was built: a plain Qt program with the system's
# paths reads a drawing; its removal takes exactly its files.
kde_deb="$work/dist/plotmira-kde_${version}_${arch}.deb"
if [ -f "$kde_deb" ]; then
    dpkg -i "$kde_deb" > "$work/install-kde.log" 2>&1 || { cat "$work/install-kde.log"; fail "dpkg -i plotmira-kde"; }
    as_user env QT_QPA_PLATFORM=offscreen "$build/tests/kde_probe" read "$work/plan.jww" "$work/qt.png" \
        > "$work/qt.out" 2>&1 || fail "QImageReader with the system's paths: $(cat "$work/qt.out")"
    as_user plotmira render "$work/plan.jww" -o "$work/qt-reference.png" || fail "plotmira render from PATH"
    "$compare" "$work/qt.png" "$work/qt-reference.png" > "$work/qt.cmp" 2>&1 || fail "QImageReader's picture: $(cat "$work/qt.cmp")"
    kde_files=$(dpkg -L plotmira-kde | while read -r path; do [ -f "$path" ] && echo "$path"; done)
    dpkg -r plotmira-kde > "$work/remove-kde.log" 2>&1 || { cat "$work/remove-kde.log"; fail "dpkg -r plotmira-kde"; }
    for path in $kde_files; do [ ! -e "$path" ] || fail "$path is left after removing plotmira-kde"; done
    [ -e /usr/bin/plotmira ] || fail "removing plotmira-kde took plotmira's files"
elif [ -f "$build/tests/kde_probe" ]; then
    fail "the KDE hosts were built, but no plotmira-kde package was made"
fi

dpkg -r plotmira > "$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "dpkg -r"; }
"$query" 2>/dev/null | grep -q "libpixbufloader-plotmira.so" && fail "the loader is listed after removal"
grep -q "libpixbufloader-plotmira.so" "$moduledir/../loaders.cache" && fail "the loader cache still names the loader"
for path in /usr/bin/plotmira /usr/share/mime/packages/plotmira.xml /usr/share/thumbnailers/plotmira.thumbnailer \
            "$moduledir/libpixbufloader-plotmira.so" /usr/include/plotmira.h /usr/lib/libplotmira.so.1 \
            /usr/lib/pkgconfig/plotmira.pc; do
    [ ! -e "$path" ] || fail "$path is left after removal"
done
[ "$(mime_of "$work/plan.jww")" != application/x-jww ] || fail "the MIME type is left after removal"

[ $failures -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "package: installed, used and removed cleanly"
