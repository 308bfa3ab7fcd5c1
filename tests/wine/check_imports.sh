#!/usr/bin/env bash
# Fails when a deliverable imports anything but Windows' own DLLs: a trainer PC has no MinGW
# runtime, so a libstdc++, libgcc or libwinpthread import would stop the program from starting.
#   check_imports.sh OBJDUMP FILE...
set -euo pipefail
objdump=$1
shift
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|msvcrt|setupapi|hid|ws2_32|version|ntdll|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
for file in "$@"; do
    imports=$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
    [ -n "$imports" ] || { echo "FAIL $file: no import table found"; status=1; continue; }
    while read -r dll; do
        if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
            echo "FAIL $file imports $dll"
            status=1
        fi
    done <<<"$imports"
    echo "checked $file: $(echo $imports)"
done
exit $status
