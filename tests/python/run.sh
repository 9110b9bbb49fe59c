#!/bin/sh
# The Python package as a user gets it: the wheel built, installed with pip
# (no index) into a fresh virtual environment that sees Debian's Pillow,
# pytest and Dask, and the tests run against that installation.
# usage: run.sh SOURCE_DIR BUILD_DIR CORPUS_DIR
# (PLOTMIRA_CORPUS_DIR in the environment overrides CORPUS_DIR)
set -u
source=$1 build=$2 corpus=${PLOTMIRA_CORPUS_DIR:-$3}
python=/usr/bin/python3
missing=""
for module in PIL pytest distributed build venv; do
    "$python" -c "import $module" 2>/dev/null || missing="$missing $module"
done
if [ -n "$missing" ]; then
    words="Python's$missing missing (python3-pil python3-pytest python3-distributed python3-build python3-venv)"
    [ "${PLOTMIRA_REQUIRE_ALL:-0}" = 1 ] && { echo "FAIL: $words"; exit 1; }
    echo "SKIP: $words"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sh "$source/scripts/build_wheel.sh" "$build/libplotmira.so.2" "$work/dist" >/dev/null || exit 1
"$python" -m venv --system-site-packages "$work/venv" || exit 1
"$work/venv/bin/python" -m pip install --quiet --no-index --ignore-installed --disable-pip-version-check "$work"/dist/*.whl || exit 1
# The drawings the tests go through: the corpus's or, where there is none,
# the project's own in folders as a corpus keeps them: every one converts,
# and no two make the same picture file.
if [ -d "$corpus/raw" ]; then
    drawings=$corpus/raw
elif [ "${PLOTMIRA_REQUIRE_CORPUS:-0}" = 1 ]; then
    echo "FAIL: no corpus at $corpus (PLOTMIRA_REQUIRE_CORPUS=1)"
    exit 1
else
    echo "note: corpus not found at $corpus; the project's own drawings stand in"
    drawings=$work/drawings
    for folder in details plans sheets 図面; do
        mkdir -p "$drawings/$folder"
        cp "$build/examples/showcase.jww" "$drawings/$folder/showcase.jww"
        cp "$build/examples/showcase.jws" "$drawings/$folder/figure.jws"
        cp "$build/examples/macros.jww" "$drawings/$folder/macros-$folder.jww"  # its texts show its name
    done
fi
cd "$work" || exit 1
PLOTMIRA_CLI="$build/plotmira" PLOTMIRA_SHOWCASE="$build/examples/showcase.jww" PLOTMIRA_CORPUS="$drawings" \
    PLOTMIRA_REGISTRY=/nonexistent "$work/venv/bin/python" -m pytest -q -p no:cacheprovider \
    --rootdir "$source/tests/python" "$source/tests/python" || exit 1
# Without a library beside it, the package takes the system's (here: the
# build's, on the library path), as it does beside the Debian package.
mkdir "$work/bare"
cp -R "$source/python/plotmira" "$work/bare/"
rm -f "$work/bare/plotmira/libplotmira.so.2"
PYTHONPATH="$work/bare" LD_LIBRARY_PATH="$build" "$python" -c "
import plotmira
assert plotmira._library.lib._name == 'libplotmira.so.2', plotmira._library.lib._name
with plotmira.open('$build/examples/showcase.jww') as doc:
    assert doc.render_bytes(100).width == 100
" || { echo "FAIL: the package does not find the library on the system's library path"; exit 1; }
