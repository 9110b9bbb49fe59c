#!/bin/sh
# Runs the whole test suite: the native build (Wine comparisons included)
# and the sanitizer build. Wine tests skip when Wine is missing unless
# PLOTMIRA_REQUIRE_WINE=1.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
echo "== native build =="
ctest --test-dir "$root/build/native" --output-on-failure -j "$jobs"
echo "== sanitizer build (address, undefined behaviour) =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$root/build/asan" --output-on-failure -j "$jobs" -LE wine
