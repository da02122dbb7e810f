#!/usr/bin/env bash
# Reads the import tables of the shipped programs of one Windows build:
#   check-product-imports.sh <objdump> <product folder> <kxacl.exe>
# A DLL an import table names is looked for in the program's own folder
# before the system folder unless Windows keeps it among its KnownDLLs, so
# a DLL planted beside the programs would be loaded by every account that
# starts them. Each program may import only DLLs that Windows 7 and later
# load from the system folder whatever the search order: the KnownDLLs of
# Windows 7 that every later release keeps (ntdll.dll is mapped before any
# search), and comctl32.dll only when the program's manifest asks for the
# common controls 6 (side by side, from the system's assembly store).
# Everything else is loaded at run time from the system folder
# (src/platform/win32/Win32SystemLibrary.h). Prints one line per file and
# exits non-zero when any check fails.
set -uo pipefail

objdump="$1" product="$2" helper="$3"
status=0
fail() { printf 'FAIL %s\n' "$*"; status=1; }

# Kept short on purpose: a DLL whose place among the KnownDLLs of Windows 7
# is not certain (psapi, version, winhttp, uxtheme, ...) is not listed.
declare -A known_dll=()
for dll in advapi32 comdlg32 gdi32 kernel32 msvcrt ntdll ole32 oleaut32 shell32 shlwapi user32; do
    known_dll["$dll.dll"]=1
done

for path in "$product/KestrixTray.exe" "$product/Kestrix.exe" "$product/KestrixUpdate.exe" \
    "$product/KestrixSetup.exe" "$helper"; do
    file="$(basename "$path")"
    if [ ! -f "$path" ]; then fail "$file: missing ($path)"; continue; fi
    headers="$("$objdump" -p "$path" 2>&1)" || { fail "$file: objdump cannot read it"; continue; }
    imports="$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr '[:upper:]' '[:lower:]' | sort -u)"
    if [ -z "$imports" ]; then fail "$file: no import table found"; continue; fi
    foreign=""
    while read -r dll; do
        [ -n "$dll" ] || continue
        [ -n "${known_dll[$dll]:-}" ] && continue
        if [ "$dll" = comctl32.dll ] && grep -aq 'Microsoft.Windows.Common-Controls' "$path"; then continue; fi
        foreign="$foreign $dll"
    done <<<"$imports"
    if [ -n "$foreign" ]; then
        fail "$file: imports DLLs a planted copy beside it could replace:$foreign"
        continue
    fi
    printf 'ok   %s: imports %s\n' "$file" "$(tr '\n' ' ' <<<"$imports")"
done
exit "$status"
