#!/usr/bin/env bash
# Static check of one built DLL and its import libraries, for either architecture:
#   - it exports exactly its model's ten names, undecorated;
#   - it imports only Windows' own DLLs;
#   - HBV7 carries a version resource of 3,0,0,0 (file and product), HBV5 none;
#   - the MinGW and MSVC import libraries name the ten functions.
#   check_dll.sh OBJDUMP NM CHECK_IMPORTS MODEL DLL MINGW_IMPORT_LIB MSVC_IMPORT_LIB
set -euo pipefail
objdump=$1 nm=$2 check_imports=$3 model=$4 dll=$5 mingw_lib=$6 msvc_lib=$7
status=0
fail() { echo "FAIL $dll: $*"; status=1; }

expected=$(printf '%s\n' Init Write QueryVersion WriteEEPROM ReadEEPROM EnterBootloader \
    GetPacket GetDllVersion GetDrvVersion Done | sed "s/\$/$model/" | LC_ALL=C sort)
exports=$("$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' |
    LC_ALL=C sort)
[ "$exports" = "$expected" ] || fail "exports are:"$'\n'"$exports"

bash "$check_imports" "$objdump" "$dll" || status=1

# VS_FIXEDFILEINFO starts with the signature 0xFEEF04BD; the two version pairs follow the
# structure version: file MS, file LS, product MS, product LS.
signature=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$dll" | cut -d: -f1 || true)
if [ "$model" = HBV7 ]; then
    if [ "$(echo "$signature" | grep -c .)" != 1 ]; then
        fail "no single version resource"
    else
        versions=$(od -An -tu4 -j $((signature + 8)) -N 16 "$dll" | xargs)
        # 3,0,0,0 is 0x00030000 and 0 in each pair.
        [ "$versions" = "196608 0 196608 0" ] || fail "version resource holds $versions"
    fi
else
    [ -z "$signature" ] || fail "has a version resource"
    ! "$objdump" -h "$dll" | grep -q '\.rsrc' || fail "has a resource section"
fi

for lib in "$mingw_lib" "$msvc_lib"; do
    symbols=$("$nm" "$lib" 2>/dev/null || true)
    for name in $expected; do
        grep -Eq " __imp__?$name\$" <<<"$symbols" || fail "$lib lacks $name"
    done
done

[ $status -eq 0 ] && echo "checked $model: $(echo $exports)"
exit $status
