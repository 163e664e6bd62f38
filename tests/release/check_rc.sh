#!/usr/bin/env bash
# Compiles the Windows resource script and reads the result back: the icon group must hold
# the four images of the icon file and the version block must carry 7.00 and the product name.
# usage: check_rc.sh <windres> <nimbrel.rc> <work folder>
set -u
windres=$1 rc=$2 work=$3
if ! command -v "$windres" >/dev/null; then
    echo "SKIP: $windres is not installed (Debian: binutils-mingw-w64-x86-64)"
    exit 77
fi
mkdir -p "$work"
"$windres" "$rc" -O res -o "$work/nimbrel.res" || { echo "FAIL: $rc does not compile"; exit 1; }
"$windres" -J res -i "$work/nimbrel.res" -O rc -o "$work/decompiled.rc" || exit 1
status=0
expect() {
    if ! grep -qE "$1" "$work/decompiled.rc"; then
        echo "FAIL: compiled resources lack: $1"
        status=1
    fi
}
expect 'Name: "IDI_ICON1"'
expect 'Has 4 elements'
expect 'FILEVERSION 7, 0, 0, 0'
expect 'PRODUCTVERSION 7, 0, 0, 0'
expect 'VALUE "FileVersion", "7\.00"'
expect 'VALUE "ProductVersion", "7\.00"'
expect 'VALUE "ProductName", "Nimbrel"'
expect 'VALUE "FileDescription", ".+"'
[ $status -eq 0 ] && echo "resource script: ok"
exit $status
