#!/bin/sh
# Builds the trees under build/.
#   build.sh         build/native: the library, the converter and its example
#                    drawings; the Python wheel (dist/) and the browser viewer
#                    (build/web) as well where their tools are installed
#   build.sh web     build/native and the browser viewer in build/web
#   build.sh python  build/native and the Python wheel in dist/
#   build.sh all     all of the above, and win64 (the .sph, spihost.exe),
#                    win32 (the .spi), the native tests, asan (address and
#                    undefined-behaviour sanitizers), fuzz (libFuzzer) and
#                    tsan (ThreadSanitizer)
# A product that is not asked for by name and cannot be built is reported
# as "not built: ..., because ..." and the rest goes on.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
jobs=$(nproc 2>/dev/null || echo 2)
part=${1:-core}
case $part in core | web | python | all) ;; *) echo "usage: build.sh [web|python|all]" >&2; exit 2 ;; esac

configure() { # DIR ARGS...
    dir=$1
    shift
    cmake -S "$root" -B "$dir" "$@" >/dev/null
}

# Whether the system's Python has a module, asked in isolation from a
# neutral folder: nothing in the working folder (such as build/, which
# Python would take for a package) can answer for it.
has_python_module() {
    (cd / && /usr/bin/python3 -I -c "import $1" 2>/dev/null)
}

# The Python wheel, where Debian's python3-build, -setuptools and -wheel are there.
wheel() { # REQUIRED|optional
    missing="" count=0
    for module in build setuptools wheel; do
        [ -x /usr/bin/python3 ] && has_python_module $module && continue
        count=$((count + 1))
        missing="${missing:+$missing, }python3-$module"
    done
    if [ $count -gt 0 ]; then
        if [ $count -gt 1 ]; then are="are missing" them=them; else are="is missing" them=it; fi
        echo "not built: the Python wheel, because $missing $are (sh scripts/setup.sh python installs $them)"
        [ "$1" = optional ] || exit 1
    elif "$root/scripts/build_wheel.sh" >"$build/wheel.log" 2>&1; then
        echo "built: $(ls "$root"/dist/plotmira-*.whl)"
    else
        echo "not built: the Python wheel, because build_wheel.sh failed (build/wheel.log):"
        tail -5 "$build/wheel.log"
        [ "$1" = optional ] || exit 1
    fi
}

# The browser viewer, where Debian's emscripten is there.
web() { # REQUIRED|optional [tests]
    need=$1
    shift
    if ! command -v emcc >/dev/null 2>&1; then
        echo "not built: the web viewer, because emscripten is missing (sh scripts/setup.sh web installs it)"
        [ "$need" = optional ] || exit 1
    elif [ "$need" = optional ]; then
        "$root/scripts/build_web.sh" "$@" >"$build/web.log" 2>&1 && grep '^built:' "$build/web.log" || {
            echo "not built: the web viewer, because build_web.sh failed (build/web.log):"
            tail -5 "$build/web.log"
        }
    else
        "$root/scripts/build_web.sh" "$@"
    fi
}

mkdir -p "$build"
if [ "$part" != all ]; then
    # Without the tests, unless the tree already has them (setup.sh all).
    if [ -f "$build/native/CMakeCache.txt" ]; then
        configure "$build/native"
    else
        configure "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTMIRA_BUILD_TESTS=OFF
    fi
    cmake --build "$build/native" -j "$jobs"
    echo "built: build/native/plotmira, build/native/libplotmira.so"
    [ -f "$build/native/libpixbufloader-plotmira.so" ] ||
        echo "not built: the gdk-pixbuf loader, because gdk-pixbuf's headers are missing (libgdk-pixbuf-2.0-dev)"
    [ -d "$build/native/qtplugins" ] ||
        echo "not built: the KDE plug-ins, because Qt's or KIO's headers are missing (qtbase5-dev, libkf5kio-dev)"
    case $part in
    core)
        wheel optional
        web optional
        ;;
    python) wheel required ;;
    web) web required ;;
    esac
    exit 0
fi
configure "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build/win64" -j "$jobs"
configure "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build/win32" -j "$jobs"
configure "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTMIRA_BUILD_TESTS=ON \
    -DPLOTMIRA_WINDOWS_BUILD_DIR="$build/win64" -DPLOTMIRA_WINDOWS32_BUILD_DIR="$build/win32"
cmake --build "$build/native" -j "$jobs"
wheel required
configure "$build/asan" -DCMAKE_BUILD_TYPE=Debug -DPLOTMIRA_SANITIZE=ON
cmake --build "$build/asan" -j "$jobs"
if command -v clang++ >/dev/null 2>&1; then
    # The fuzz target, under libFuzzer with the address and UB sanitizers.
    CC=clang CXX=clang++ configure "$build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTMIRA_FUZZ=ON -DPLOTMIRA_BUILD_TESTS=OFF
    cmake --build "$build/fuzz" -j "$jobs" --target fuzz_convert make_seeds
    # The library's thread test under ThreadSanitizer.
    CC=clang CXX=clang++ configure "$build/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTMIRA_TSAN=ON
    cmake --build "$build/tsan" -j "$jobs" --target library_threads showcase
fi
web required tests
echo "built: build/native/plotmira, build/win64/plotmira.sph, build/win32/plotmira.spi"
