#!/bin/sh
# init PREFIX: make a fresh Wine prefix for this test run.
# stop PREFIX: stop that prefix's wineserver (and nothing else).
set -e
action=$1
prefix=$2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
init)
  if [ -d "$prefix" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$prefix"
  fi
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  wineserver -w
  test -d "$prefix/drive_c/windows"
  . "$(dirname "$0")/test-lib.sh"
  attachments "$prefix"
  echo "wine prefix ready: $prefix"
  ;;
stop)
  wineserver -k 2>/dev/null || true
  ;;
*)
  echo "usage: $0 init|stop PREFIX" >&2
  exit 2
  ;;
esac
