#!/bin/sh
# The export table of zar.dll lists exactly the functions that zar.h declares, under
# their plain names.  Usage: check_exports.sh OBJDUMP DLL HEADER
set -eu
objdump=$1 dll=$2 header=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
grep -v '^#' "$header" | tr '\n' ' ' | grep -o 'ZAR_API[^;]*ZAR_STDCALL *[A-Za-z0-9_]* *(' |
    sed 's/.*ZAR_STDCALL *\([A-Za-z0-9_]*\).*/\1/' | sort >"$dir/header"
"$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] *//p' | sort >"$dir/dll"
if ! diff -u "$dir/header" "$dir/dll"; then
    echo "$dll: exports differ from $header (- header only, + DLL only)"
    exit 1
fi
echo "$dll: $(wc -l <"$dir/dll") exports, exactly the functions of $header"
