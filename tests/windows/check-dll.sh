#!/bin/sh
# Checks the DLL file: thirteen exports by name with ordinals 1 to 13, and no
# imports beyond KERNEL32, ADVAPI32, SHELL32, USER32 and the C runtime.
set -e
dll=$1
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
fail=0
names=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
if ! printf '%s\n' "$dump" | grep -q "Ordinal Base 1"; then
  echo "FAIL: the ordinal base is not 1"
  fail=1
fi
for entry in "1 MAPIAddress" "2 MAPIDeleteMail" "3 MAPIDetails" "4 MAPIFindNext" \
             "5 MAPILogoff" "6 MAPILogon" "7 MAPIReadMail" "8 MAPIResolveName" \
             "9 MAPISaveMail" "10 MAPISendDocuments" "11 MAPISendMail" "12 MAPIFreeBuffer" \
             "13 MAPISendMailW"; do
  set -- $entry
  # The name table lists each name with its ordinal less the base (1).
  if ! printf '%s\n' "$names" | grep -Eq "^[[:space:]]*\[[[:space:]]*$(($1 - 1))\][[:space:]]+$2\$"; then
    echo "FAIL: export $2 with ordinal $1 not found"
    fail=1
  fi
done
count=$(printf '%s\n' "$dump" | grep -Ec '^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]+\+base\[')
if [ "$count" -ne 13 ]; then
  echo "FAIL: $count exports, expected 13"
  fail=1
fi
if ! printf '%s\n' "$dump" | grep -Eq "^Name[[:space:]]+[0-9a-f]+ qvmapi.dll"; then
  echo "FAIL: the export table does not name qvmapi.dll"
  fail=1
fi
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
for dll_name in $imports; do
  case "$dll_name" in
  KERNEL32.dll|ADVAPI32.dll|SHELL32.dll|USER32.dll|msvcrt.dll|api-ms-win-crt-*.dll) ;;
  *) echo "FAIL: unexpected import $dll_name"; fail=1 ;;
  esac
done
echo "imports: $(echo $imports)"
if [ $fail -ne 0 ]; then
  echo "0 passed, 1 failed"
  exit 1
fi
echo "exports and imports: 1 passed, 0 failed"
