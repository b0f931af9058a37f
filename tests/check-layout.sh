#!/bin/sh
# The library's layout holds: the published records below their users, no
# cross-file names declared outside a header, and (given the Windows
# objects of the library) no Win32 import outside platform/win32/.
#   check-layout.sh SOURCE_DIR [OBJECT...]
set -u
src=$1
shift
failed=0
fail() {
  echo "FAIL: $1"
  failed=1
}

found=$(cd "$src" && grep -rln '#include "mapi/' handoff trace platform include)
[ -z "$found" ] || fail "a header of mapi/ included from below it: $found"

found=$(cd "$src" && grep -rn '^[[:space:]]*extern[[:space:]]*[^"[:space:]]' \
  --include='*.cpp' handoff trace platform mapi check deploy tools bench fuzz \
  tests)
[ -z "$found" ] || fail "an extern declaration outside a header: $found"

nm=x86_64-w64-mingw32-nm
for object in "$@"; do
  case $object in
  */platform/win32/*) continue ;;
  esac
  imports=$($nm -u "$object" | awk '/__imp_/ {print $2}')
  [ -z "$imports" ] || fail "$(basename "$object") calls Win32: $imports"
done

[ $failed -eq 0 ] && echo "layout holds ($# objects checked)"
exit $failed
