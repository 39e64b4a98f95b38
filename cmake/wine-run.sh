#!/bin/sh
# Runs a Windows test program under Wine in the build tree's own prefix, quietly.
# Used as CMAKE_CROSSCOMPILING_EMULATOR: "wine-run.sh [--wine64] program args...".
loader=wine
if [ "$1" = "--wine64" ]; then
    # 64-bit programs go straight to the 64-bit loader, which needs no 32-bit host code.
    loader=/usr/lib/wine/wine64
    shift
fi
: "${WINEPREFIX:=${PICBOX_WINEPREFIX:-$(pwd)/wineprefix}}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec "$loader" "$@"
