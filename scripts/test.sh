#!/bin/sh
# Runs the whole test suite: the native build (Wine comparisons included),
# the sanitizer build, the thread checker, and the README's first command in
# fresh Debian 12 roots. Wine tests skip when Wine is missing unless
# PLOTMIRA_REQUIRE_WINE=1; the rest under PLOTMIRA_REQUIRE_ALL=1.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
echo "== source format =="
"$root/scripts/check_format.sh"
echo "== native build =="
ctest --test-dir "$root/build/native" --output-on-failure -j "$jobs"
echo "== sanitizer build (address, undefined behaviour) =="
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$root/build/asan" --output-on-failure -j "$jobs" -LE wine
echo "== ThreadSanitizer: four threads, two documents =="
if [ -x "$root/build/tsan/tests/library_threads" ]; then
    TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$root/build/tsan" --output-on-failure -R library_threads
elif [ "${PLOTMIRA_REQUIRE_ALL:-0}" = 1 ]; then
    echo "FAIL: the ThreadSanitizer build is missing (scripts/setup.sh all builds it with clang)"
    exit 1
else
    echo "SKIP: the ThreadSanitizer build is missing (scripts/setup.sh all builds it with clang)"
fi
echo "== the README's first command in fresh Debian 12 roots =="
"$root/tests/setup/fresh_root_test.sh" "$root" || [ $? -eq 77 ] || exit 1
if [ -n "${PLOTMIRA_FUZZ_SECONDS:-}" ]; then
    echo "== fuzzing for ${PLOTMIRA_FUZZ_SECONDS} s =="
    fuzz="$root/build/fuzz"
    rm -rf "$fuzz/run"
    mkdir -p "$fuzz/run/corpus" "$fuzz/run/seeds" "$fuzz/run/artifacts"
    "$fuzz/make_seeds" "$fuzz/run/seeds"
    ASAN_OPTIONS=allocator_may_return_null=1 "$fuzz/fuzz_convert" "$fuzz/run/corpus" "$fuzz/run/seeds" \
        -dict="$root/fuzz/plotmira.dict" -max_total_time="$PLOTMIRA_FUZZ_SECONDS" -rss_limit_mb=4096 -timeout=20 \
        -max_len=65536 -artifact_prefix="$fuzz/run/artifacts/" -print_final_stats=1 2>&1 | tail -15
    # A crash leaves its input in the artifacts: copy it to fuzz/crashers to keep it fixed.
    if [ -n "$(ls -A "$fuzz/run/artifacts")" ]; then
        echo "fuzzing found: $(ls "$fuzz/run/artifacts")"
        exit 1
    fi
fi
