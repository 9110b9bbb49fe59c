#!/bin/sh
# Builds the Python wheel, dist/plotmira-VERSION-py3-none-PLATFORM.whl: the
# package in python/ with build/native's libplotmira.so.2 beside it. Offline,
# with Debian's python3-build, setuptools and wheel.
# usage: build_wheel.sh [LIBRARY [OUT_DIR]]    (default: build/native's, dist/)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
python=/usr/bin/python3
library=${1:-$root/build/native/libplotmira.so.2}
out=${2:-$root/dist}
[ -f "$library" ] || { echo "build_wheel: $library is missing; run scripts/build.sh first" >&2; exit 1; }
version=$(sed -n 's/^project(plotmira VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
grep -q "^__version__ = \"$version\"" "$root/python/plotmira/__init__.py" || {
    echo "build_wheel: python/plotmira/__init__.py's __version__ is not $version" >&2
    exit 1
}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out"
out=$(cd "$out" && pwd)
cp -R "$root/python/plotmira" "$root/python/pyproject.toml" "$root/python/setup.py" "$root/python/README.md" "$stage/"
cp "$root/LICENSE" "$stage/"
rm -rf "$stage/plotmira/__pycache__"
# The library without its debugging sections.
cp -L "$library" "$stage/plotmira/libplotmira.so.2"
strip --strip-debug "$stage/plotmira/libplotmira.so.2"
rm -f "$out"/plotmira-"$version"-*.whl
(cd "$stage" && "$python" -m build --no-isolation --wheel --outdir "$out" >build.log 2>&1) || {
    cat "$stage/build.log" >&2
    exit 1
}
ls "$out"/plotmira-"$version"-*.whl
