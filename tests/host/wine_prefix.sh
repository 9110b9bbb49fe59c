#!/bin/sh
# Prepares the Wine prefix of the tests as a Japanese Windows would have it:
# created once, with the IPA faces registered as substitutes for the Windows
# Japanese faces. Run inside an X server; WINEPREFIX must be set.
# usage: wine_prefix.sh SUBSTITUTES_REG_TEMPLATE
set -eu
template=$1
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -u >/dev/null 2>&1 || true
    wineserver -w
fi
if ! grep -q '"MS PMincho"="IPAPMincho"' "$WINEPREFIX/system.reg" 2>/dev/null; then
    # regedit reads the non-ASCII names only from a UTF-16 file.
    reg="$WINEPREFIX/font_substitutes.reg"
    { printf '\377\376'; sed 's/$/\r/' "$template" | iconv -f UTF-8 -t UTF-16LE; } > "$reg"
    wine regedit /S "Z:$reg" >/dev/null 2>&1
    wineserver -w
fi
