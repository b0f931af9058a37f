#!/bin/sh
# Runs a Windows test program under Wine (CMake's cross-compiling emulator).
: "${WINEDEBUG:=-all}"
: "${WINEARCH:=win64}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEDEBUG WINEARCH WINEDLLOVERRIDES
exec /usr/lib/wine/wine64 "$@"
