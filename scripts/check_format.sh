#!/bin/sh
# Checks every C and C++ source against the root's .clang-format.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "format: every source follows .clang-format"
