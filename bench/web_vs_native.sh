#!/bin/sh
# The library in WebAssembly (Node's V8, as in Chromium) against the native
# build, file by file: bench_library built both ways (the whole sheet at
# 1920 pixels, and the slowest and median of nine 1920 x 1080 views at 8x),
# best of REPEATS, and the ratios.
# usage: bench/web_vs_native.sh [CORPUS_DIR | FILE] [REPEATS]   (after scripts/build.sh all)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
input=${1:-$root/../shared/corpus}
repeats=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PLOTMIRA_DESKTOP_WIDTH=1920 PLOTMIRA_REGISTRY="$work/registry.reg" PLOTMIRA_FONT_DIR="$root/build/web/fonts"
"$root/build/native/bench_library" "$input" "$repeats" > "$work/native.txt"
node --no-experimental-fetch "$root/build/wasm/bench_library.js" "$input" "$repeats" > "$work/wasm.txt"
# Columns: read open sheet zoom8max zoom8med again memory file.
awk '
    FNR == 1 { side++ }
    NF >= 8 && $1 ~ /^[0-9.]+$/ {
        file = $8; for (i = 9; i <= NF; ++i) file = file " " $i
        if (side == 1) { sheet[file] = $3; zmax[file] = $4; zmed[file] = $5; next }
        if (!(file in sheet)) next
        n++
        r1 = $3 / sheet[file]; r2 = $4 / zmax[file]; r3 = $5 / zmed[file]
        printf "%7.2f %7.2f %5.2fx   %7.2f %7.2f %5.2fx   %7.2f %7.2f %5.2fx  %s\n", sheet[file], $3, r1, zmax[file], $4, r2, zmed[file], $5, r3, file
        s[n] = r1; m[n] = r2; d[n] = r3
        total_native += sheet[file]; total_wasm += $3
    }
    function median(a, n,    i, j, t) {
        for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    function largest(a, n,    i, x) { x = 0; for (i = 1; i <= n; ++i) if (a[i] > x) x = a[i]; return x }
    END {
        printf "%d files (ms: native, WebAssembly, ratio): sheet median %.2fx, worst %.2fx; ", n, median(s, n), largest(s, n)
        printf "slowest 8x view median %.2fx, worst %.2fx; median 8x view median %.2fx, worst %.2fx\n", median(m, n), largest(m, n), median(d, n), largest(d, n)
        printf "all sheets: native %.1f ms, WebAssembly %.1f ms (%.2fx)\n", total_native, total_wasm, total_wasm / total_native
    }' "$work/native.txt" "$work/wasm.txt" | tee "$work/out.txt" | {
    echo "  sheet (native, wasm, ratio)   slowest 8x view            median 8x view            file"
    cat
}
