#!/bin/sh
# Builds the trees under build/.
#   build.sh        build/native: the library, the converter and its example
#                   drawings; the Python wheel in dist/; the browser viewer in
#                   build/web where emscripten is there
#   build.sh all    also win64 (the .sph, spihost.exe), win32 (the .spi), the
#                   native tests, asan (address and undefined-behaviour
#                   sanitizers), fuzz (libFuzzer) and tsan (ThreadSanitizer)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
jobs=$(nproc 2>/dev/null || echo 2)
part=${1:-core}

configure() { # DIR ARGS...
    dir=$1
    shift
    cmake -S "$root" -B "$dir" "$@" >/dev/null
}

# The Python wheel, where Debian's python3-build is there to make it.
wheel() {
    if /usr/bin/python3 -c "import build, setuptools, wheel" 2>/dev/null; then
        "$root/scripts/build_wheel.sh" >/dev/null
        echo "built: $(ls "$root"/dist/plotmira-*.whl)"
    else
        echo "not built: the Python wheel (python3-build, python3-setuptools, python3-wheel are missing)"
    fi
}

if [ "$part" = core ]; then
    configure "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTMIRA_BUILD_TESTS=OFF
    cmake --build "$build/native" -j "$jobs"
    echo "built: build/native/plotmira, build/native/libplotmira.so"
    wheel
    "$root/scripts/build_web.sh"
    exit 0
fi
configure "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build/win64" -j "$jobs"
configure "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build/win32" -j "$jobs"
configure "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTMIRA_BUILD_TESTS=ON \
    -DPLOTMIRA_WINDOWS_BUILD_DIR="$build/win64" -DPLOTMIRA_WINDOWS32_BUILD_DIR="$build/win32"
cmake --build "$build/native" -j "$jobs"
wheel
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
"$root/scripts/build_web.sh" tests
echo "built: build/native/plotmira, build/win64/plotmira.sph, build/win32/plotmira.spi"
