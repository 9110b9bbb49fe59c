#!/bin/sh
# The library's process-wide state, counted: the writable data symbols of
# libplotmira.so.2 may not exceed the budget. Left out: vtables and type
# information, and what the toolchain puts in every shared object (the
# dynamic section, the GOT, the C runtime's start-up and exception words).
# The budget only ever goes down.
# usage: symbol_budget.sh LIBPLOTMIRA.so BUDGET
set -u
library=$1 budget=$2
command -v nm >/dev/null 2>&1 || { echo "SKIP: nm is missing (binutils)"; exit 77; }
symbols=$(nm -C "$library" | grep -E ' [bBdD] ' | grep -v -e 'vtable for' -e 'typeinfo' |
    grep -v -E ' [bBdD] (_DYNAMIC|_GLOBAL_OFFSET_TABLE_|__[A-Za-z_]+|DW\.ref\..*|completed\.[0-9]+)$')
count=$(printf '%s\n' "$symbols" | grep -c .)
echo "writable data symbols: $count (budget $budget)"
if [ "$count" -gt "$budget" ]; then
    printf '%s\n' "$symbols" | sed 's/^/  /'
    echo "FAIL: $count writable data symbols, more than the budget of $budget"
    exit 1
fi
