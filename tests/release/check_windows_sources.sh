#!/usr/bin/env bash
# Compiles the Windows-only sources for 64-bit Windows, syntax only, against the Qt headers of
# the host, so they keep compiling on machines without Qt for Windows (scripts/windows builds it).
# usage: check_windows_sources.sh <compiler> <Qt headers folder> <flags file> <source>...
set -u
compiler=$1 qt=$2 flags=$3
shift 3
if ! command -v "$compiler" >/dev/null; then
    echo "SKIP: $compiler is not installed (Debian: g++-mingw-w64-x86-64-posix)"
    exit 77
fi
status=0
for source in "$@"; do
    if [ ! -f "$source" ]; then
        echo "FAIL: $source does not exist"
        status=1
        continue
    fi
    # Qt's own headers trip -Wattributes on dllimport redeclarations under MinGW, hence
    # -isystem; our sources get the full warning set as errors.
    if "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror \
        -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets" -isystem "$qt/QtNetwork" \
        "@$flags" "$source"; then
        echo "ok: $source"
    else
        echo "FAIL: $source"
        status=1
    fi
done
exit $status
