#!/usr/bin/env bash
# Fails when vboard.sys is not an image Wine's winedevice.exe loads as a kernel driver: one that
# imports anything but the kernel's and hidclass's exports (a C runtime function the driver has
# no DLL for, say), is not a native image, or cannot be relocated.
#   check_driver_image.sh OBJDUMP DRIVER
set -euo pipefail
objdump=$1 driver=$2
headers=$("$objdump" -p "$driver")
status=0
fail() { echo "FAIL $driver: $*"; status=1; }
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
[ "$imports" = "hidclass.sys ntoskrnl.exe " ] || fail "imports $imports"
grep -Eq '^Subsystem\s+00000001' <<<"$headers" || fail "not a native image"
"$objdump" -h "$driver" | grep -q ' \.reloc ' || fail "no relocations"
[ $status = 0 ] && echo "checked $driver: imports $imports"
exit $status
