#!/bin/sh
# Builds the Windows target and runs the Wine benchmark against qvmapi.dll
# in a Wine prefix of its own (build/windows/bench-prefix), under a virtual
# display for the send from a UI thread.
set -e
cd "$(dirname "$0")/.."
cmake --preset windows >/dev/null
cmake --build --preset windows --target qv_wine_bench >/dev/null
build=$(pwd)/build/windows
export WINEPREFIX="$build/bench-prefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  wineserver -w
fi
. tests/windows/test-lib.sh
attachments "$WINEPREFIX" # the reference message's files
cd "$build"
xvfb-run -a /usr/lib/wine/wine64 qv_wine_bench.exe | tr -d '\r'
wineserver -k 2>/dev/null || true
