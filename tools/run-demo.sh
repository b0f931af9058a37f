#!/bin/sh
# The main job: builds qvmapi.dll and runs the demo under Wine.
set -e
cd "$(dirname "$0")/.."
sh tools/bootstrap.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
echo
echo "qvmapi.dll exports:"
x86_64-w64-mingw32-objdump -p build/windows/qvmapi.dll |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p'
