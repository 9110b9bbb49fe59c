#!/bin/sh
# The converter writing DXF against writing the PNG of the same drawing, as
# whole processes (start, read, write), for the COUNT largest drawings of a
# corpus: the best of REPEATS runs each, the ratio, and the files' sizes.
# usage: bench/dxf_vs_png.sh [CORPUS_DIR] [COUNT] [REPEATS]   (after scripts/setup.sh)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-$root/../shared/corpus}
count=${2:-8}
repeats=${3:-5}
cli="$root/build/native/plotmira"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PLOTMIRA_REGISTRY="$work/registry.reg" PLOTMIRA_DESKTOP_WIDTH=1920
best() {  # the best wall time of REPEATS runs of a command, in milliseconds
    b=""
    for _ in $(seq "$repeats"); do
        s=$(date +%s%N)
        "$@" >/dev/null 2>&1
        t=$((($(date +%s%N) - s) / 1000000))
        [ -z "$b" ] || [ "$t" -lt "$b" ] && b=$t
    done
    echo "$b"
}
printf '%8s %8s %6s %10s %10s %10s  %s\n' png_ms dxf_ms ratio png_bytes dxf_bytes r12_bytes file
find "$corpus" -type f \( -iname '*.jww' -o -iname '*.jws' \) -printf '%s\t%p\n' | sort -rn | head -n "$count" |
    cut -f2 | while IFS= read -r file; do
        png=$(best "$cli" render "$file" -o "$work/x.png")
        dxf=$(best "$cli" render "$file" -o "$work/x.dxf")
        "$cli" render "$file" -o "$work/x12.dxf" --dxf-version R12
        printf '%8d %8d %5.2fx %10d %10d %10d  %s\n' "$png" "$dxf" "$(echo "$dxf / $png" | bc -l)" \
            "$(stat -c %s "$work/x.png")" "$(stat -c %s "$work/x.dxf")" "$(stat -c %s "$work/x12.dxf")" \
            "$(basename "$file")"
    done
