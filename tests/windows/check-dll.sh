#!/bin/sh
# Checks the DLL file itself: its machine, thirteen exports by name with
# ordinals 1 to 13, no imports beyond KERNEL32, ADVAPI32, SHELL32, USER32
# and the C runtime (no compiler runtime DLLs), and the version resource.
# The 32-bit DLL cannot run on these machines: for it these checks are the
# test.
# Usage: check-dll.sh DLL [x86_64|i686]
set -e
dll=$1
arch=${2:-x86_64}
tools=$arch-w64-mingw32
dump=$($tools-objdump -p "$dll")
fail=0
case "$arch" in
x86_64) machine="file format pei-x86-64" ;;
i686) machine="file format pei-i386" ;;
*) echo "unknown architecture $arch"; exit 2 ;;
esac
if ! $tools-objdump -f "$dll" | grep -q "$machine"; then
  echo "FAIL: not a $arch DLL: $($tools-objdump -f "$dll" | grep 'file format')"
  fail=1
fi
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
# The version block's strings (UTF-16 in the resource).
strings=$($tools-strings -el "$dll")
for text in "Quorvantile Incorporated" "Quorvantile Brindleway" "3, 1, 0, 6" \
            "7, 0, 0, 0" "qvmapi.dll" "100904b0" "VS_VERSION_INFO"; do
  if ! printf '%s\n' "$strings" | grep -qF "$text"; then
    echo "FAIL: the version resource lacks \"$text\""
    fail=1
  fi
done
if [ $fail -ne 0 ]; then
  echo "0 passed, 1 failed"
  exit 1
fi
echo "$arch DLL: machine, exports, imports and version resource: 1 passed, 0 failed"
