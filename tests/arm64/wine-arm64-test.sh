#!/bin/sh
# The ARM64 DLL and the Arm64X qvmapi.dll under arm64 Wine 8, in an arm64
# Debian root run through qemu-user and binfmt_misc, against the x64 DLL
# under amd64 Wine: the same messages (Cyrillic, Greek, CJK) give the
# client byte for byte the same lines, a batch-file registration is
# refused, the trace log holds the same lines. Wine 8 for arm64 runs no x64
# or ARM64EC code: the Arm64X DLL serves here through its native view, and
# its EC view is checked from the file (check-arm64-dlls.sh).
#
# The root is made once (debootstrap from the mirror the machine's own apt
# sources name) and kept in build/arm64-root. Without binfmt_misc the test
# says so and is skipped.
# Usage: wine-arm64-test.sh SOURCE_DIR BUILD_DIR
set -u
src=$1
build=$2
root="$src/build/arm64-root"
. "$src/tests/windows/test-lib.sh"

# qemu-user through binfmt_misc: mounted and registered for this run if
# need be, and the registration this test made removed at the end.
if ! binfmt_ready; then
  echo "SKIP: arm64 Wine: this machine has no binfmt_misc to run arm64 programs through qemu-user"
  exit 0
fi
cleanup() {
  [ -e "$root/proc/self" ] && chroot "$root" /usr/bin/env WINEPREFIX=/root/qv-prefix \
    /usr/lib/wine/wineserver -k 2>/dev/null
  umount "$root/proc" 2>/dev/null
  binfmt_unregister
  wineserver -k 2>/dev/null
}
trap cleanup EXIT
binfmt_register qemu-aarch64 '\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00' \
  '\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
  /usr/bin/qemu-aarch64-static || { echo "FAIL: cannot register qemu-aarch64 with binfmt_misc"; exit 1; }

# The arm64 root, once.
if [ ! -e "$root/.qv-ready" ]; then
  mirror=$(debian_mirror)
  echo "making the arm64 root from $mirror (once) ..."
  rm -rf "$root"
  if ! debootstrap --arch=arm64 --variant=minbase --include=wine64,wine bookworm \
      "$root" "$mirror" > "$build/debootstrap.log" 2>&1; then
    echo "FAIL: debootstrap of the arm64 root (see $build/debootstrap.log)"
    exit 1
  fi
  : > "$root/.qv-ready"
fi
mount -t proc proc "$root/proc" 2>/dev/null
arm64() { # runs an arm64 Wine command in the root
  chroot "$root" /usr/bin/env HOME=/root WINEPREFIX=/root/qv-prefix \
    WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" \
    QV_CLIENT_DIR="${clientdir:-}" /usr/lib/wine/wine64 "$@"
}
if [ ! -e "$root/root/qv-prefix/drive_c/windows" ]; then
  arm64 wineboot -i >/dev/null 2>&1
fi

# The x64 side, under amd64 Wine in a prefix of its own.
prefix="$build/x64-prefix"
. "$src/tests/windows/test-lib.sh"
[ -d "$WINEPREFIX/drive_c/windows" ] || $wine wineboot -i >/dev/null 2>&1
attachments "$WINEPREFIX"
attachments "$root/root/qv-prefix"
x64="$build/x64"
work="$build/arm64-test"
rm -rf "$work" && mkdir -p "$work/x64" "$work/x64-log"
settings='HKCU\SOFTWARE\Quorvantile Incorporated\Quorvantile Brindleway'
command='HKLM\SOFTWARE\Clients\Mail\Outlook Web Access\shell\open\command'
logs="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Quorvantile Incorporated/Quorvantile Brindleway"
$wine reg add "$command" /ve /d "$(winpath "$x64/qvclient_x64.exe")" /f >/dev/null 2>&1
$wine reg delete "$settings" /v FileLoggingLevel /f >/dev/null 2>&1
QV_CLIENT_DIR=$(winpath "$work/x64") $wine "$x64/qvhost_x64.exe" "$(winpath "$x64/qvmapi.dll")" send
check "x64: the three sends return 0" test $? -eq 0
rm -rf "$logs"
$wine reg add "$settings" /v FileLoggingLevel /t REG_DWORD /d 1 /f >/dev/null 2>&1
QV_CLIENT_DIR=$(winpath "$work/x64-log") $wine "$x64/qvhost_x64.exe" "$(winpath "$x64/qvmapi.dll")" send
x64log="$logs/MAPI_00001.LOG"
wineserver -k 2>/dev/null

# The arm64 side: the programs in the root.
stage="$root/tmp/qv-arm64"
rm -rf "$stage" && mkdir -p "$stage"
cp "$build/qvhost.exe" "$build/qvclient.exe" "$build/qvmapi_arm64.dll" "$build/qvmapi.dll" "$stage/"
printf '@"Z:\\tmp\\qv-arm64\\qvclient.exe" %%*\r\n' > "$stage/client.cmd"
armlogs="$root/root/qv-prefix/drive_c/users/root/AppData/Roaming/Quorvantile Incorporated/Quorvantile Brindleway"
arm64 reg add "$command" /ve /d 'Z:\tmp\qv-arm64\qvclient.exe' /f >/dev/null 2>&1
arm64 reg delete "$settings" /v FileLoggingLevel /f >/dev/null 2>&1
for dll in qvmapi_arm64 qvmapi; do
  mkdir -p "$stage/$dll"
  clientdir="Z:\\tmp\\qv-arm64\\$dll" arm64 'Z:\tmp\qv-arm64\qvhost.exe' "Z:\\tmp\\qv-arm64\\$dll.dll" send
  check "arm64, $dll.dll: the three sends return 0" test $? -eq 0
  for n in 1 2 3; do
    for kind in w16 txt; do
      check "arm64, $dll.dll: client $n's line ($kind) is the x64 DLL's, byte for byte" \
        cmp -s "$stage/$dll/$n.$kind" "$work/x64/$n.$kind"
    done
  done
done
check "the Cyrillic, Greek and CJK line arrived" \
  sh -c "iconv -f UTF-16LE -t UTF-8 '$stage/qvmapi_arm64/2.w16' | grep -q 'Отчёт Q3 – Αναφορά 報告 -Attach C:.Берлин.日本 --報告.pdf'"
arm64 reg add "$command" /ve /d 'Z:\tmp\qv-arm64\client.cmd' /f >/dev/null 2>&1
mkdir -p "$stage/refused"
clientdir='Z:\tmp\qv-arm64\refused' arm64 'Z:\tmp\qv-arm64\qvhost.exe' 'Z:\tmp\qv-arm64\qvmapi_arm64.dll' refused
check "arm64: a batch-file registration is refused (MAPI_E_FAILURE)" test $? -eq 0
check "arm64: nothing started for it" test -z "$(ls "$stage/refused")"
arm64 reg add "$command" /ve /d 'Z:\tmp\qv-arm64\qvclient.exe' /f >/dev/null 2>&1
rm -rf "$armlogs"
arm64 reg add "$settings" /v FileLoggingLevel /t REG_DWORD /d 1 /f >/dev/null 2>&1
mkdir -p "$stage/log"
clientdir='Z:\tmp\qv-arm64\log' arm64 'Z:\tmp\qv-arm64\qvhost.exe' 'Z:\tmp\qv-arm64\qvmapi_arm64.dll' send
# The lines without their time and thread (32 characters), pointers masked.
masked() {
  cut -c33- "$1" | sed -E 's/^(lpMapiMessage lpMessage|lpMessage->lpszSubject) = [0-9a-f]+/\1 = ptr/'
}
check "arm64: the trace log is written" test -s "$armlogs/MAPI_00001.LOG"
check "arm64: the trace log holds the x64 DLL's lines" \
  sh -c "[ \"\$(masked '$armlogs/MAPI_00001.LOG')\" = \"\$(masked '$x64log')\" ]"
check "the trace log has the three sends' lines" test "$(grep -c 'MAPISendMail.*(END)' "$armlogs/MAPI_00001.LOG")" -eq 3
finish "arm64 Wine"
