#!/bin/sh
# ARM64 import libraries from mingw-w64's export lists: the names that
# mingw-w64's x86-64 import library of each DLL imports, given to
# llvm-dlltool for arm64.
# Usage: arm64-implibs.sh OUTDIR DLL...   (e.g. kernel32 ucrtbase)
set -eu
out=$1
shift
mkdir -p "$out"
for dll in "$@"; do
  def="$out/$dll.def"
  printf 'LIBRARY %s.dll\nEXPORTS\n' "$dll" > "$def.tmp"
  llvm-nm-19 --defined-only "/usr/x86_64-w64-mingw32/lib/lib$dll.a" 2>/dev/null |
    awk '$2 == "I" && $3 ~ /^__imp_/ { sub(/^__imp_/, "", $3); print "  " $3 }' |
    sort -u >> "$def.tmp"
  # mingw-w64 links strnlen into its x86-64 library; ucrtbase.dll exports it.
  if [ "$dll" = ucrtbase ] && ! grep -q '^  strnlen$' "$def.tmp"; then
    echo '  strnlen' >> "$def.tmp"
  fi
  mv "$def.tmp" "$def"
  llvm-dlltool-19 -m arm64 -d "$def" -l "$out/lib$dll.a"
done
