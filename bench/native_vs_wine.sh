#!/bin/sh
# The native build against real GDI under Wine, file by file, in one run:
# native in-process (best of 5 conversions at 1920 pixels, bench_render),
# Wine per conversion from spihost.exe (the time of --repeat 31 less that of
# --repeat 1, over 30; the median of three such pairs), and their ratio.
# usage: bench/native_vs_wine.sh FILE...     (after scripts/build.sh)
# PLOTMIRA_WINE_PLUGIN names another .sph to time under Wine (an older
# build, say), for before-and-after figures of the Windows plug-in.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || { echo "usage: bench/native_vs_wine.sh FILE..."; exit 2; }
. "$root/tests/host/wine_env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="$root/build/native/wine/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export PLOTMIRA_DESKTOP_WIDTH=1920 PLOTMIRA_REGISTRY="$work/registry.reg"
plugin=${PLOTMIRA_WINE_PLUGIN:-$root/build/win64/plotmira.sph}
for file in "$@"; do printf '%s\n' "$file"; done > "$work/files.txt"

cat > "$work/run.sh" <<INNER
#!/bin/sh
. "$root/tests/host/wine_env.sh"
"$root/tests/host/wine_prefix.sh" "$root/tests/gdi/font_substitutes.reg.in"
wine64 reg delete 'HKCU\\Software\\Plotmira_spi' /f > /dev/null 2>&1
seconds() { # REPEATS FILE: wall time of one spihost run
    start=\$(date +%s.%N)
    wine64 "$root/build/win64/spihost.exe" "Z:$plugin" "Z:\$2" "Z:$work/out.bmp" --repeat "\$1" > /dev/null 2>&1
    end=\$(date +%s.%N)
    awk "BEGIN { print \$end - \$start }"
}
while IFS= read -r file; do
    for pair in 1 2 3; do
        long=\$(seconds 31 "\$file")
        short=\$(seconds 1 "\$file")
        awk "BEGIN { print (\$long - \$short) * 1000 / 30 }"
    done | sort -n | sed -n 2p > "$work/wine-\$(basename "\$file").ms"
done < "$work/files.txt"
wineserver -w
INNER
chmod +x "$work/run.sh"
LC_ALL=C.UTF-8 xvfb-run -a -s "-screen 0 1920x1080x24" "$work/run.sh"

printf '%10s %10s %7s  %s\n' "native ms" "Wine ms" "ratio" "file"
while IFS= read -r file; do
    native=$("$root/build/native/bench_render" "$file" 5 | awk 'NR == 2 { print $1 }')
    wine=$(cat "$work/wine-$(basename "$file").ms")
    awk -v n="$native" -v w="$wine" -v f="$file" 'BEGIN { printf "%10.2f %10.2f %7.1f  %s\n", n, w, w / n, f }'
done < "$work/files.txt"
