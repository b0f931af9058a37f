#!/bin/sh
# The MSI under Wine's msiexec, silent, in a fresh Wine prefix of its own:
# install with CLIENTPATH and MAKEDEFAULT=1 (both DLLs in place and
# byte-identical to the built ones, DLLPath, the command, the default), a
# send through the system's mapi32.dll, removal back to the registry as it
# was, refused CLIENTPATH values, and a newer build over an older one.
# Usage: msi-test.sh SOURCE_DIR BUILD_DIR VERSION MSI_VERSION
set -u
src=$1
build=$2
version=$3
msiVersion=$4
prefix="$build/msi-prefix"
. "$src/tests/windows/test-lib.sh"
work="$build/msi-test"
query() { $wine reg query "$1" $2 2>/dev/null | tr -d '\r'; }
has() { printf '%s' "$1" | grep -F -q -- "$2"; }
msiexec() { $wine msiexec "$@" >/dev/null 2>&1; }
export_clients() {
  rm -f "$1"
  $wine reg export 'HKLM\SOFTWARE\Clients' "$(winpath "$1")" /y >/dev/null 2>&1
}
products() {
  $wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c 'DisplayName.*Quorvantile Brindleway Simple MAPI'
}

rm -rf "$work"
mkdir -p "$work/records"
fresh_prefix
sys64="$WINEPREFIX/drive_c/windows/system32/qvmapi.dll"
sys32="$WINEPREFIX/drive_c/windows/syswow64/qvmapi.dll"
msi=$(winpath "$build/qvmapi-$version-x64.msi")
client=$(winpath "$build/stand_in_client.exe")
mailkey='HKLM\SOFTWARE\Clients\Mail'
clientkey="$mailkey\\Outlook Web Access"

export_clients "$work/before.reg"
check "a fresh prefix has a default mail client" has "$(query "$mailkey" /ve)" "REG_SZ"

msiexec /i "$msi" /qn CLIENTPATH="$client" MAKEDEFAULT=1 /l*v "$(winpath "$work/install.log")"
check "the silent install succeeds" test $? -eq 0
check "the 64-bit DLL is the built one" cmp -s "$sys64" "$build/qvmapi.dll"
check "the 32-bit DLL in syswow64 is the built one" cmp -s "$sys32" "$build/x86/qvmapi.dll"
check "the 32-bit DLL is a 32-bit DLL" sh -c "i686-w64-mingw32-objdump -f '$sys32' | grep -q pei-i386"
check "DLLPath names the 64-bit system folder's copy" \
  has "$(query "$clientkey" '/v DLLPath')" 'system32\qvmapi.dll'
check "the client command is CLIENTPATH" \
  has "$(query "$clientkey\\shell\\open\\command" /ve)" "REG_SZ    $client"
check "Outlook Web Access is the default mail client" \
  has "$(query "$mailkey" /ve)" "REG_SZ    Outlook Web Access"
check "the install log names CLIENTPATH" \
  sh -c "iconv -f UTF-16LE -t UTF-8 '$work/install.log' 2>/dev/null | grep -q 'qvmapi: client command' || grep -a -q 'qvmapi: client command' '$work/install.log'"

QV_CLIENT_DIR=$(winpath "$work/records") QV_CLIENT_WAIT_MS=0 \
  $wine "$build/wintest_host.exe" send-stub >/dev/null 2>&1
check "a send through mapi32.dll succeeds" test $? -eq 0
check "the client received the exact line" test "$(cat "$work"/records/client-*.txt 2>/dev/null)" = \
  '-Subject Deployed -Attach C:\Reports\q3 --old.xls -Alias q3.xls -To ann@example.com -Silent'

msiexec /x "$msi" /qn
check "the silent removal succeeds" test $? -eq 0
export_clients "$work/after.reg"
check "removal leaves HKLM\\SOFTWARE\\Clients as before the install" cmp -s "$work/before.reg" "$work/after.reg"
check "no DLL is left behind" test ! -e "$sys64" -a ! -e "$sys32"
check "no product is left installed" test "$(products)" -eq 0

# Values that break the client path rule are not written, and the log says why.
printf '@"%s" %%*\r\n' "$client" > "$work/wrapper.cmd"
n=0
for bad in 'stand_in_client.exe' "$(winpath "$work/wrapper.cmd")"; do
  n=$((n + 1))
  msiexec /i "$msi" /qn CLIENTPATH="$bad" /l*v "$(winpath "$work/refused-$n.log")"
  check "an install with CLIENTPATH [$bad] succeeds" test $? -eq 0
  check "CLIENTPATH [$bad] is not written" \
    sh -c "! $wine reg query '$clientkey\\shell\\open\\command' /ve >/dev/null 2>&1"
  check "the log says why [$bad] was refused" \
    sh -c "iconv -f UTF-16LE -t UTF-8 '$work/refused-$n.log' 2>/dev/null | grep -q 'is not written' || grep -a -q 'is not written' '$work/refused-$n.log'"
  check "DLLPath is written all the same" has "$(query "$clientkey" '/v DLLPath')" 'qvmapi.dll'
  msiexec /x "$msi" /qn
done
export_clients "$work/after-refused.reg"
check "the refused installs leave nothing behind" cmp -s "$work/before.reg" "$work/after-refused.reg"

# A newer build replaces an older one: one product, then a clean removal.
major=${msiVersion%%.*}
rest=${msiVersion#*.}
minor=${rest%%.*}
patch=${rest#*.}
newer="$major.$minor.$((patch + 1))"
sh "$src/deploy/build-msi.sh" "$src" "$work/stage" "$build/qvmapi.dll" \
  "$build/x86/qvmapi.dll" "$build/qvmapi-setup.dll" "$newer" "$work/newer.msi" \
  "$build/qvmapi-check.exe" >/dev/null
msiexec /i "$msi" /qn CLIENTPATH="$client" MAKEDEFAULT=1
msiexec /i "$(winpath "$work/newer.msi")" /qn CLIENTPATH="$client" MAKEDEFAULT=1
check "the newer build installs over the older one" test $? -eq 0
check "one product is installed, not two" test "$(products)" -eq 1
check "the registration survives the upgrade" \
  has "$(query "$clientkey\\shell\\open\\command" /ve)" "REG_SZ    $client"
msiexec /x "$(winpath "$work/newer.msi")" /qn
export_clients "$work/after-upgrade.reg"
check "removing the newer build puts the registry back as before both" \
  cmp -s "$work/before.reg" "$work/after-upgrade.reg"
check "no product remains" test "$(products)" -eq 0

wineserver -k 2>/dev/null
finish installer
