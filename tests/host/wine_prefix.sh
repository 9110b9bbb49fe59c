#!/bin/sh
# Prepares the Wine prefix of the tests as a Japanese Windows would have it:
# created once, with the IPA faces registered as substitutes for the Windows
# Japanese faces. Run inside an X server; WINEPREFIX must be set.
# usage: wine_prefix.sh SUBSTITUTES_REG_TEMPLATE
set -eu
template=$1
. "$(dirname "$0")/wine_env.sh"
# A prefix made before the 32-bit side was installed never gets it: make it anew.
if wine32_ready && [ -f "$WINEPREFIX/system.reg" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine64 wineboot -u >/dev/null 2>&1 || true
    wineserver -w
fi
if ! grep -q '"MS PMincho"="IPAPMincho"' "$WINEPREFIX/system.reg" 2>/dev/null; then
    # regedit reads the non-ASCII names only from a UTF-16 file.
    reg="$WINEPREFIX/font_substitutes.reg"
    { printf '\377\376'; sed 's/$/\r/' "$template" | iconv -f UTF-8 -t UTF-16LE; } > "$reg"
    wine64 regedit /S "Z:$reg" >/dev/null 2>&1
    wineserver -w
fi
