#!/bin/sh
# The Windows on ARM DLLs read from the files (llvm-readobj): the native
# ARM64 DLL's machine, thirteen exports with their ordinals, imports from
# system DLLs only and the version resource; the Arm64X qvmapi.dll's two
# views, each exporting the thirteen names as forwarders to its own DLL,
# each with its load configuration and CHPE metadata; qvmapi_x64.dll an
# x64 DLL. Wine 8 for arm64 runs no x64 or ARM64EC code: the EC view is
# checked here only.
# Usage: check-arm64-dlls.sh BUILD_DIR
set -u
build=$1
readobj=llvm-readobj-22
. "$(dirname "$0")/../windows/test-lib.sh"
names="MAPIAddress MAPIDeleteMail MAPIDetails MAPIFindNext MAPILogoff MAPILogon
MAPIReadMail MAPIResolveName MAPISaveMail MAPISendDocuments MAPISendMail
MAPIFreeBuffer MAPISendMailW"
# "ordinal name [target]" lines of one export table dump.
exports_of() {
  printf '%s\n' "$1" | awk '
    /Ordinal:/ { o = $2 } /Name:/ { n = $2 }
    /ForwardedTo:/ { f = $2 }
    /^ *}/ { if (o != "") print o " " n (f == "" ? "" : " " f); o = n = f = "" }'
}

native=$($readobj --file-headers --coff-exports "$build/qvmapi_arm64.dll")
check "qvmapi_arm64.dll is an ARM64 DLL" has "$native" 'Machine: IMAGE_FILE_MACHINE_ARM64 (0xAA64)'
table=$(exports_of "$native")
i=1
for n in $names; do
  check "qvmapi_arm64.dll exports $n as ordinal $i" sh -c "printf '%s\n' \"\$1\" | grep -q -x '$i $n'" _ "$table"
  i=$((i + 1))
done
check "qvmapi_arm64.dll exports thirteen names" test "$(printf '%s\n' "$table" | grep -c .)" -eq 13
imports=$($readobj --coff-imports "$build/qvmapi_arm64.dll" | sed -n 's/^ *Name: \(.*\.dll\)$/\1/p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
check "qvmapi_arm64.dll imports system DLLs only [$imports]" test \
  "$imports" = "advapi32.dll kernel32.dll shell32.dll ucrtbase.dll user32.dll "
strings=$(llvm-strings-22 -e l "$build/qvmapi_arm64.dll" 2>/dev/null || strings -el "$build/qvmapi_arm64.dll")
for text in "Quorvantile Incorporated" "3, 1, 0, 6" "qvmapi.dll" "100904b0"; do
  check "qvmapi_arm64.dll's version resource holds \"$text\"" has "$strings" "$text"
done

x64=$($readobj --file-headers "$build/qvmapi_x64.dll")
check "qvmapi_x64.dll is an x64 DLL" has "$x64" 'Machine: IMAGE_FILE_MACHINE_AMD64'

hybrid=$($readobj --file-headers --coff-exports --coff-load-config "$build/qvmapi.dll")
check "qvmapi.dll is Arm64X" has "$hybrid" 'Format: COFF-ARM64X'
check "qvmapi.dll's file header is ARM64's" sh -c "printf '%s\n' \"\$1\" | grep -q 'Machine: IMAGE_FILE_MACHINE_ARM64X\|Machine: IMAGE_FILE_MACHINE_ARM64 '" _ "$hybrid"
nativeview=$(printf '%s\n' "$hybrid" | sed '/HybridObject {/,$d')
ecview=$(printf '%s\n' "$hybrid" | sed -n '/HybridObject {/,$p')
check "its EC view is ARM64EC" has "$ecview" 'Format: COFF-ARM64EC'
for view in native:arm64 ec:x64; do
  if [ "${view%%:*}" = native ]; then text=$nativeview; else text=$ecview; fi
  table=$(exports_of "$text")
  i=1
  for n in $names; do
    check "the ${view%%:*} view forwards $n (ordinal $i) to qvmapi_${view#*:}.$n" \
      sh -c "printf '%s\n' \"\$1\" | grep -q -x '$i $n qvmapi_${view#*:}.$n'" _ "$table"
    i=$((i + 1))
  done
  check "the ${view%%:*} view has a load configuration with CHPE metadata" has "$text" 'CHPEMetadata ['
done
finish "arm64 DLLs"
