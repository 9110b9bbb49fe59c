#!/bin/sh
# The converter's DXF files read by a real DXF reader: Debian's ezdxf, its
# audit and its drawing add-on (matplotlib), against the plug-in's pictures.
# usage: run.sh SOURCE_DIR BUILD_DIR CORPUS_DIR
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
source=$1 build=$2 corpus=${PLOTMIRA_CORPUS_DIR:-$3}
python=/usr/bin/python3
missing=""
for module in ezdxf matplotlib PIL pytest; do
    "$python" -c "import $module" 2>/dev/null || missing="$missing $module"
done
if [ -n "$missing" ]; then
    words="Python's$missing missing (python3-ezdxf python3-matplotlib python3-pil python3-pytest)"
    [ "${PLOTMIRA_REQUIRE_ALL:-0}" = 1 ] && { echo "FAIL: $words"; exit 1; }
    echo "SKIP: $words"
    exit 77
fi
if [ ! -d "$corpus/raw" ]; then
    [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ] && { echo "FAIL: no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"; exit 1; }
    echo "note: corpus not found at $corpus; the project's own drawings only"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
MPLBACKEND=Agg MPLCONFIGDIR="$work/mpl" PLOTMIRA_CLI="$build/plotmira" PLOTMIRA_EXAMPLES="$build/examples" \
    PLOTMIRA_CORPUS="$corpus/raw" PLOTMIRA_REGISTRY=/nonexistent \
    "$python" -m pytest -q -p no:cacheprovider --rootdir "$source/tests/dxf" "$source/tests/dxf"
