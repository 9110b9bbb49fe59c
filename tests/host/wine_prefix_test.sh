#!/bin/sh
# Makes the Wine tests' prefix (see wine_prefix.sh) inside an X server, and
# says how long it took.
# usage: wine_prefix_test.sh WORK_DIR SUBSTITUTES
set -u
work=$1 substitutes=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
[ -x "$wine64_loader" ] && command -v xvfb-run >/dev/null 2>&1 || skip "wine64 or xvfb-run is not installed"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
started=$(date +%s)
xvfb-run -a sh -c "'$here/wine_prefix.sh' '$substitutes' && wineserver -w" || { echo "FAIL: the prefix was not made"; exit 1; }
[ -f "$WINEPREFIX/system.reg" ] || { echo "FAIL: the prefix has no registry"; exit 1; }
if wine32_ready; then
    [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] || { echo "FAIL: the prefix has no 32-bit side"; exit 1; }
    echo "prefix with its 32-bit side ready in $(($(date +%s) - started)) s"
else
    echo "prefix ready in $(($(date +%s) - started)) s (no 32-bit side here)"
fi
