#!/usr/bin/env bash
# Checks the shipped 32-bit files without running them:
#   check-product-pe32.sh <objdump> <product folder>
# Each program is a PE32 image for i386 that imports only DLLs every Windows
# has, and KestrixTray.exe carries no symbols. Prints one line per file and
# exits non-zero when any check fails.
set -uo pipefail

objdump="$1" product="$2"
status=0
fail() { printf 'FAIL %s\n' "$*"; status=1; }

# The system's own DLLs the programs may import (lower case).
declare -A system_dll=()
for dll in advapi32 comctl32 comdlg32 gdi32 kernel32 msvcrt ntdll ole32 oleaut32 psapi shell32 shlwapi \
    user32 uxtheme version winhttp ws2_32; do
    system_dll["$dll.dll"]=1
done

for file in KestrixTray.exe Kestrix.exe KestrixUpdate.exe KestrixSetup.exe; do
    path="$product/$file"
    if [ ! -f "$path" ]; then fail "$file: missing from $product"; continue; fi
    headers="$("$objdump" -p "$path" 2>&1)" || { fail "$file: objdump cannot read it"; continue; }
    if ! grep -q 'file format pei-i386' <<<"$headers"; then
        fail "$file: not a PE32 i386 image ($(grep -o 'file format [^ ]*' <<<"$headers" | head -n 1))"
        continue
    fi
    foreign=""
    while read -r dll; do
        [ -n "$dll" ] || continue
        [ -n "${system_dll[${dll,,}]:-}" ] || foreign="$foreign $dll"
    done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
    if [ -n "$foreign" ]; then fail "$file: imports DLLs that are not Windows' own:$foreign"; continue; fi
    if [ "$file" = KestrixTray.exe ]; then
        if ! "$objdump" -t "$path" 2>/dev/null | grep -q '^no symbols'; then
            fail "$file: not stripped"
            continue
        fi
    fi
    printf 'ok   %s: PE32 i386, system DLLs only%s (%s bytes)\n' "$file" \
        "$([ "$file" = KestrixTray.exe ] && echo ', stripped')" "$(stat -c %s "$path")"
done
exit "$status"
