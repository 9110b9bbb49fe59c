#!/bin/sh
# Builds the browser viewer into build/web/: the library in WebAssembly
# (Debian's emscripten), the page with its service worker, manifest and
# icons (an installable app that works offline), and the IPA faces it fetches when a
# drawing has text. FreeType is built from Debian's source package of the
# version the native build uses, fetched through an apt configuration of
# its own under build/ (the system's apt sources stay as they are), so both
# builds draw the same glyphs. Also builds the Node programs the web tests
# and benchmark run (build/wasm).
#   build_web.sh         the site and the Node programs
#   build_web.sh tests   also puppeteer-core for the browser test, from the
#                        lock file (npm ci into build/web-tests)
set -eu
part=${1:-site}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
jobs=$(nproc 2>/dev/null || echo 2)
if ! command -v emcc >/dev/null 2>&1; then
    echo "not built: the web viewer (emscripten is missing)"
    exit 0
fi
# Debian's emcc finds its JavaScript tools (acorn) there; its cache is
# Debian's own and stays so.
export NODE_PATH=/usr/share/nodejs
export EMCC_CFLAGS="-Wno-version-check"

deps="$build/web-deps"
freetype="$deps/freetype"
if [ ! -f "$freetype/install/lib/libfreetype.a" ]; then
    version=$(dpkg-query -W -f='${Version}' "libfreetype6:$(dpkg --print-architecture)")
    apt_dir="$deps/apt"
    rm -rf "$apt_dir" "$freetype"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$freetype"
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    cat >"$apt_dir/sources.list" <<SOURCES
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
SOURCES
    set -- -o Dir::Etc::sourcelist="$apt_dir/sources.list" -o Dir::Etc::sourceparts=- \
        -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" -o APT::Sandbox::User=root
    apt-get "$@" -qq update
    (cd "$freetype" && apt-get "$@" -qq source --download-only "freetype=$version" >/dev/null)
    dpkg-source --no-check -x "$freetype"/freetype_*.dsc "$freetype/src" >/dev/null
    emcmake cmake -S "$freetype/src" -B "$freetype/build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$freetype/install" -DFT_DISABLE_ZLIB=TRUE -DFT_DISABLE_BZIP2=TRUE \
        -DFT_DISABLE_PNG=TRUE -DFT_DISABLE_HARFBUZZ=TRUE -DFT_DISABLE_BROTLI=TRUE >/dev/null
    cmake --build "$freetype/build" -j "$jobs" >/dev/null
    cmake --install "$freetype/build" >/dev/null
fi

# The code page tables, made by the native iconv.
tables="$deps/generated"
mkdir -p "$tables"
if [ ! -f "$tables/cp932_tables.h" ]; then
    c++ -std=c++17 -O1 -I"$root/src" "$root/hosts/web/make_cp932_tables.cpp" \
        "$root/src/platform/portable/code_page_iconv.cpp" -o "$deps/make_cp932_tables"
    "$deps/make_cp932_tables" "$tables/cp932_tables.h"
fi

emcmake cmake -S "$root" -B "$build/wasm" -DCMAKE_BUILD_TYPE=Release \
    -DPLOTMIRA_FREETYPE_PREFIX="$freetype/install" -DPLOTMIRA_CP932_TABLES_DIR="$tables" >/dev/null
cmake --build "$build/wasm" -j "$jobs"

# The site: plain files any static server serves.
site="$build/web"
rm -rf "$site"
mkdir -p "$site/fonts"
cp "$root"/hosts/web/site/* "$build/wasm/plotmira.mjs" "$build/wasm/plotmira.wasm" "$site/"
# The faces the native build draws with, so both draw the same glyphs.
for family in IPAGothic IPAPGothic IPAMincho IPAPMincho; do
    file=$(readlink -f "$(fc-match -f '%{file}' "$family")")
    cp "$file" "$site/fonts/"
done
cp /usr/share/doc/fonts-ipafont-gothic/copyright "$site/fonts/IPA_Font_License.txt"
# The app's icons, drawn by the project's script; the service worker's
# version, made from what the site holds, so that every change is a new one.
node "$root/hosts/web/make_icons.mjs" "$site/icons"
version=$(cd "$site" && find . -type f ! -path './fonts/*' ! -name sw.js | LC_ALL=C sort | xargs sha256sum |
    sha256sum | cut -c1-16)
sed -i "s/@VERSION@/$version/" "$site/sw.js"
echo "built: build/web/ (serve it: python3 -m http.server -d build/web)"
if [ "$part" = tests ]; then
    if command -v npm >/dev/null 2>&1; then
        mkdir -p "$build/web-tests"
        cp "$root/tests/web/package.json" "$root/tests/web/package-lock.json" "$build/web-tests/"
        # The tests drive Debian's chromium: puppeteer fetches no browser.
        (cd "$build/web-tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
        echo "built: build/web-tests (puppeteer-core for the browser test)"
    else
        echo "not built: build/web-tests (npm is missing)"
    fi
fi
