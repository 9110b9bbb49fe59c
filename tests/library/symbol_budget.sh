#!/bin/sh
# The library's process-wide state, counted: the writable data symbols of
# libplotmira.so.1 (vtables and type information left out) may not exceed
# the budget. The budget only ever goes down, as state moves into the
# documents and renders that own it.
# usage: symbol_budget.sh LIBPLOTMIRA.so BUDGET
set -u
library=$1 budget=$2
command -v nm >/dev/null 2>&1 || { echo "SKIP: nm is missing (binutils)"; exit 77; }
symbols=$(nm -C "$library" | grep -E ' [bBdD] ' | grep -v -e 'vtable for' -e 'typeinfo')
count=$(printf '%s\n' "$symbols" | grep -c .)
echo "writable data symbols: $count (budget $budget)"
if [ "$count" -gt "$budget" ]; then
    printf '%s\n' "$symbols" | sed 's/^/  /'
    echo "FAIL: $count writable data symbols, more than the budget of $budget"
    exit 1
fi
