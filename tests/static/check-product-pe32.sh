#!/usr/bin/env bash
# Checks the shipped 32-bit files without running them:
#   check-product-pe32.sh <objdump> <product folder>
# Each program is a PE32 image for i386, and KestrixTray.exe carries no
# symbols (what the programs import is check-product-imports.sh's, for both
# builds). Prints one line per file and exits non-zero when any check fails.
set -uo pipefail

objdump="$1" product="$2"
status=0
fail() { printf 'FAIL %s\n' "$*"; status=1; }

for file in KestrixTray.exe Kestrix.exe KestrixUpdate.exe KestrixSetup.exe; do
    path="$product/$file"
    if [ ! -f "$path" ]; then fail "$file: missing from $product"; continue; fi
    headers="$("$objdump" -p "$path" 2>&1)" || { fail "$file: objdump cannot read it"; continue; }
    if ! grep -q 'file format pei-i386' <<<"$headers"; then
        fail "$file: not a PE32 i386 image ($(grep -o 'file format [^ ]*' <<<"$headers" | head -n 1))"
        continue
    fi
    if [ "$file" = KestrixTray.exe ]; then
        if ! "$objdump" -t "$path" 2>/dev/null | grep -q '^no symbols'; then
            fail "$file: not stripped"
            continue
        fi
    fi
    printf 'ok   %s: PE32 i386%s (%s bytes)\n' "$file" \
        "$([ "$file" = KestrixTray.exe ] && echo ', stripped')" "$(stat -c %s "$path")"
done
exit "$status"
