#!/bin/sh
# The library as a C programmer gets it: installed with cmake --install into
# a folder of its own, found through pkg-config, and used by the ten-line
# example (examples/zoomed_view.c), compiled as C99 with warnings as errors.
# usage: pkgconfig_test.sh BUILD_DIR SOURCE_DIR CORPUS_DIR SHOWCASE.jww
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
build=$1 source=$2 corpus=${PLOTMIRA_CORPUS_DIR:-$3} showcase=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
command -v pkg-config >/dev/null 2>&1 || { echo "SKIP: pkg-config is not installed"; exit 77; }

cmake --install "$build" --prefix "$work/usr" > "$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
pc=$(find "$work/usr" -name plotmira.pc)
[ -n "$pc" ] || fail "no plotmira.pc was installed"
export PKG_CONFIG_PATH=$(dirname "$pc")
[ "$(pkg-config --modversion plotmira)" = "$("$build/plotmira" --version | cut -d' ' -f2)" ] || fail "plotmira.pc has another version"
libdir=$(pkg-config --variable=libdir plotmira)
[ -e "$libdir/libplotmira.so.2" ] || fail "libplotmira.so.2 is not in $libdir"
# shellcheck disable=SC2046
cc -std=c99 -pedantic -Wall -Wextra -Werror "$source/examples/zoomed_view.c" $(pkg-config --cflags --libs plotmira) \
    -o "$work/zoomed_view" || fail "the example does not build against the installed library"

input="$corpus/raw/monozukuri-ai__ezjww/Test2.jww"
if [ ! -f "$input" ]; then
    [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ] && fail "no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"
    input=${showcase%.jww}.jws  # the showcase's figure: its lines cross in the middle of what it draws
fi
PLOTMIRA_REGISTRY=/nonexistent LD_LIBRARY_PATH="$libdir" "$work/zoomed_view" "$input" "$work/zoomed.ppm" \
    > "$work/layers.txt" || fail "the example failed on $input"
[ "$(wc -l < "$work/layers.txt")" -eq 256 ] || fail "the example printed $(wc -l < "$work/layers.txt") layer lines"
[ "$(head -c 15 "$work/zoomed.ppm")" = "$(printf 'P6\n800 600\n255\n')" ] || fail "the zoomed view is no 800 x 600 PPM"
[ "$(wc -c < "$work/zoomed.ppm")" -eq $((15 + 800 * 600 * 3)) ] || fail "the zoomed view has $(wc -c < "$work/zoomed.ppm") bytes"
colours=$(tail -c +16 "$work/zoomed.ppm" | od -An -tu1 -v | tr -s ' ' '\n' | sort -u | wc -l)
[ "$colours" -gt 2 ] || fail "the zoomed view is blank"
if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "pkg-config: the example built against the installed library and drew $(head -3 "$work/layers.txt" | tr '\n' ' ')..."
