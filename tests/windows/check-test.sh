#!/bin/sh
# qvmapi-check under Wine, in a fresh prefix of its own with the MSI
# installed over what Windows' stub would follow before DLLPath: a correct
# installation gives exit code 0 and only ok lines;
# each broken piece gives exit code 1 and a line that names it; the checks
# write nothing; --send-test reaches the stand-in client; bad usage is 2.
# Usage: check-test.sh SOURCE_DIR BUILD_DIR VERSION
set -u
src=$1
build=$2
version=$3
prefix="$build/check-prefix"
. "$src/tests/windows/test-lib.sh"
work="$build/check-test"
out="$work/out.txt"
# Runs the check with the given arguments: the output in $out, the exit
# code in $code.
run() {
  code=$($wine "$build/qvmapi-check.exe" "$@" > "$out.raw" 2>&1; echo $?)
  tr -d '\r' < "$out.raw" > "$out"
}
# Runs the check; expects exit code 1 and a problem line holding $2.
broken() {
  what=$1
  needle=$2
  run
  check "$what: exit code 1 (got $code)" test "$code" -eq 1
  check "$what: a problem line names it" sh -c "grep '^problem:' '$out' | grep -qiF -- \"\$1\"" _ "$needle"
}
reg() { $wine reg "$@" >/dev/null 2>&1; }
mailkey='HKLM\SOFTWARE\Clients\Mail'
clientkey="$mailkey\\Outlook Web Access"
commandkey="$clientkey\\shell\\open\\command"

messaging='HKLM\SOFTWARE\Microsoft\Windows Messaging Subsystem'
mapiapps="$messaging\\MSMapiApps"

rm -rf "$work"
mkdir -p "$work/records"
fresh_prefix
client=$(winpath "$build/stand_in_client.exe")
# What an earlier product left that Windows' stub would load instead of
# DLLPath: the install takes it over.
stale_values "$clientkey" REG_EXPAND_SZ '%SystemRoot%\system32\other-mapi.dll'
$wine msiexec /i "$(winpath "$build/qvmapi-$version-x64.msi")" /qn CLIENTPATH="$client" MAKEDEFAULT=1 >/dev/null 2>&1
check "the MSI installs" test $? -eq 0
# Wine's 64-bit-only prefix has no MAPI flag in the 32-bit view; Windows
# has it in both. The install leaves it as it finds it, and the check
# names the view.
broken "MAPI missing in the 32-bit view" "MAPI is missing in the 32-bit view"
check "the fix it gives names the view" grep -q '^problem: MAPI .* /v MAPI /d 1 /f /reg:32$' "$out"
reg add "$messaging" /v MAPI /d 1 /f /reg:32
sys64="$WINEPREFIX/drive_c/windows/system32/qvmapi.dll"
sys32="$WINEPREFIX/drive_c/windows/syswow64/qvmapi.dll"
installed="$WINEPREFIX/drive_c/Program Files/Quorvantile/qvmapi/qvmapi-check.exe"
check "the MSI installs qvmapi-check beside the docs" cmp -s "$installed" "$build/qvmapi-check.exe"

# A correct installation.
$wine reg export 'HKLM\SOFTWARE' "$(winpath "$work/hklm-before.reg")" /y >/dev/null 2>&1
$wine reg export 'HKCU\Software' "$(winpath "$work/hkcu-before.reg")" /y >/dev/null 2>&1
touch "$work/marker"
sleep 1
run
cp "$out" "$work/correct.txt"
check "a correct installation gives exit code 0" test "$code" -eq 0
check "a correct installation gives only ok lines and the summary" \
  sh -c "! grep -v -e '^ok: ' -e '^summary: ' '$out' | grep -q ."
check "nine checks" grep -q '^summary: 9 checks, no problems' "$out"
check "over a stale MSIComponentID and DLLPathEx, the stub follows DLLPath" \
  grep -q '^ok: Windows. Simple MAPI stub follows DLLPath of "Outlook Web Access" (no MSIComponentID; no DLLPathEx)' "$out"
changed=$(find "$WINEPREFIX/drive_c" -newer "$work/marker" -type f 2>/dev/null | grep -v '/windows/temp/' | head -5)
check "the checks write no file [$changed]" test -z "$changed"
$wine reg export 'HKLM\SOFTWARE' "$(winpath "$work/hklm-after.reg")" /y >/dev/null 2>&1
$wine reg export 'HKCU\Software' "$(winpath "$work/hkcu-after.reg")" /y >/dev/null 2>&1
check "the checks write nothing under HKLM\\SOFTWARE" cmp -s "$work/hklm-before.reg" "$work/hklm-after.reg"
check "the checks write nothing under HKCU\\Software" cmp -s "$work/hkcu-before.reg" "$work/hkcu-after.reg"

# Each broken piece, one at a time, then put back.
reg add 'HKCU\Software\Clients\Mail' /ve /d 'Other Mail' /f
broken "a per-user default naming another client" "per-user default"
reg delete 'HKCU\Software\Clients\Mail' /f
reg delete "$mailkey" /ve /f
broken "no default mail client" "no default mail client"
reg add "$mailkey" /ve /d 'Outlook Web Access' /f

reg add 'HKCU\Software\Clients\Mail' /ve /d 'Gone Mail' /f
broken "a per-user default naming no client key" "names no client key"
reg delete 'HKCU\Software\Clients\Mail' /f

# What the stub follows before DLLPath, each kind, and what it routes.
dllpath=$($wine reg query "$clientkey" /v DLLPath 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
reg add "$clientkey" /v MSIComponentID /d '{6B0A4F1E-0D6C-4B8A-9E52-7F1D2C3B4A59}' /f
broken "an MSIComponentID" 'MSIComponentID "{6B0A4F1E-0D6C-4B8A-9E52-7F1D2C3B4A59}" of "Outlook Web Access" wins over DLLPath'
reg delete "$clientkey" /v MSIComponentID /f
for type in REG_SZ REG_EXPAND_SZ; do
  reg add "$clientkey" /v DLLPathEx /t $type /d '%SystemRoot%\system32\other-mapi.dll' /f
  broken "a $type DLLPathEx naming another DLL" 'DLLPathEx "'
  test $type = REG_SZ || check "a REG_EXPAND_SZ DLLPathEx is shown expanded" grep -q -i 'DLLPathEx "C:\\windows\\system32\\other-mapi.dll"' "$out"
done
reg add "$clientkey" /v DLLPathEx /t REG_EXPAND_SZ /d '%SystemRoot%\system32\qvmapi.dll' /f
run
check "a DLLPathEx naming DLLPath's file is fine" test "$code" -eq 0
check "it says DLLPathEx names the same file" grep -q '^ok: .*DLLPathEx names the same file' "$out"
reg delete "$clientkey" /v DLLPathEx /f
reg add "$mapiapps" /v host.exe /d 'Other Client' /f
broken "an MSMapiApps entry routing a program elsewhere" 'MSMapiApps (64-bit view) routes "host.exe" to the mail client "Other Client"'
reg delete "$mapiapps" /v host.exe /f
reg add "$mapiapps" /v 'Old Host.exe' /d '' /f /reg:32
broken "a 32-bit MSMapiApps entry routing to the system's MAPI" 'MSMapiApps (32-bit view (Wow6432Node)) routes "Old Host.exe" to the system'
check "its fix names the 32-bit view" grep -q '/v "Old Host.exe" /f /reg:32$' "$out"
reg add "$mapiapps" /v 'Old Host.exe' /d 'Outlook Web Access' /f /reg:32
run
check "an MSMapiApps entry routing to \"Outlook Web Access\" is fine" test "$code" -eq 0
reg delete "$mapiapps" /f /reg:32
reg delete "$messaging" /v MAPI /f
broken "MAPI missing in the 64-bit view" "MAPI is missing in the 64-bit view"
reg add "$messaging" /v MAPI /d 0 /f
broken "MAPI \"0\" in the 64-bit view" 'MAPI is "0" in the 64-bit view'
reg add "$messaging" /v MAPI /d 1 /f

reg delete "$clientkey" /v DLLPath /f
broken "DLLPath missing" "DLLPath is missing"
reg add "$clientkey" /v DLLPath /d 'C:\nowhere\qvmapi.dll' /f
broken "DLLPath naming a missing file" "does not exist"
reg add "$clientkey" /v DLLPath /d 'C:\windows\syswow64\qvmapi.dll' /f
broken "DLLPath naming a 32-bit DLL" "32-bit DLL"
reg add "$clientkey" /v DLLPath /d 'C:\windows\system32\notepad.exe' /f
broken "DLLPath naming a file that is not a DLL" "is not a DLL"
# The Arm64X DLL of Windows on ARM, read from the file: both views, each
# with its exports and the DLL it forwards to (on x64 Windows, a problem).
reg add "$clientkey" /v DLLPath /d "$(winpath "$build/arm64/qvmapi.dll")" /f
broken "DLLPath naming the Arm64X DLL on x64 Windows" \
  "is an Arm64X DLL: its ARM64 view exports 13 names (MAPISendMail to qvmapi_arm64.MAPISendMail), its x64 view 13 names (MAPISendMail to qvmapi_x64.MAPISendMail); this Windows is not Windows on ARM"
reg add "$clientkey" /v DLLPath /d "$dllpath" /f
mv "$sys32" "$sys32.away"
broken "the 32-bit copy missing" "32-bit copy"
mv "$sys32.away" "$sys32"

printf '@"%s" %%*\r\n' "$client" > "$work/wrapper.cmd"
n=0
for bad in "\"$client\"" "$client -x" 'stand_in_client.exe' "$(winpath "$work/wrapper.cmd")" \
           'C:\Mail\missing.exe'; do
  n=$((n + 1))
  reg add "$commandkey" /ve /d "$bad" /f
  case $n in
  1) needle="quote" ;;
  2) needle="does not name an .exe" ;;
  3) needle="not a full path" ;;
  4) needle="does not name an .exe" ;;
  5) needle="does not exist" ;;
  esac
  broken "the client command [$bad]" "$needle"
done
# The command as Windows stores it: what qvmapi.dll does with each type.
reg add "$commandkey" /ve /t REG_EXPAND_SZ /d "%QV_CHECK_HOME%\\stand_in_client.exe" /f
QV_CHECK_HOME=$(winpath "$build") run
check "a REG_EXPAND_SZ command is expanded and passes" test "$code" -eq 0
check "it says what it expands to" grep -q '^ok: the client command .*(expanded: ' "$out"
check "it says 32-bit applications start the same file" \
  grep -q '^ok: the client command .*(32-bit applications start the same file)' "$out"
# A command that names another program for 32-bit applications.
mkdir -p "$work/arch/AMD64"
cp "$build/stand_in_client.exe" "$work/arch/AMD64/client.exe"
reg add "$commandkey" /ve /t REG_EXPAND_SZ /d "$(winpath "$work/arch")\\%PROCESSOR_ARCHITECTURE%\\client.exe" /f
broken "a command whose 32-bit view differs" "but 32-bit applications start"
for type in REG_BINARY REG_DWORD REG_MULTI_SZ; do
  data=$client
  test "$type" = REG_DWORD && data=1
  test "$type" = REG_BINARY && data=5a3a
  reg add "$commandkey" /ve /t $type /d "$data" /f
  broken "a $type command" "is not a string (REG_SZ or REG_EXPAND_SZ) (registry type"
done
reg add "$commandkey" /ve /d "C:\\$(printf '%0300d' 0).exe" /f
broken "an over-long command" "longer than 259 characters"
reg add "$commandkey" /ve /d "$client" /f

folder="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Quorvantile Incorporated/Quorvantile Brindleway"
mkdir -p "$folder"
i=1
while [ $i -le 900 ]; do : > "$folder/$(printf 'MAPI_%05x.LOG' $i)"; i=$((i + 1)); done
run
check "900 log files: still exit code 0" test "$code" -eq 0
check "900 log files: a warning" grep -q '^warning: 900 of 1000' "$out"
while [ $i -le 1000 ]; do : > "$folder/$(printf 'MAPI_%05x.LOG' $i)"; i=$((i + 1)); done
broken "1,000 log files" "all 1000 log numbers are used"
rm -rf "$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Quorvantile Incorporated"

run
check "put back, the installation is correct again" test "$code" -eq 0

# --send-test through mapi32.dll reaches the stand-in client.
QV_CLIENT_DIR=$(winpath "$work/records") QV_CLIENT_WAIT_MS=0 run --send-test
cp "$out" "$work/send-test.txt"
check "--send-test: exit code 0" test "$code" -eq 0
check "--send-test reports 0" grep -q '^ok: the test message went through mapi32.dll: MAPISendMailW returned 0' "$out"
check "--send-test reached the client" sh -c "grep -q -- '-Subject qvmapi-check test message' '$work'/records/client-*.txt"

# A mapi32.dll planted beside qvmapi-check (the ZIP route unpacks it into a
# folder an administrator picks and runs it elevated) is never loaded, even
# with Windows' order of native DLLs first; and qvmapi-check imports no DLL
# that Windows would look for in its folder first.
planted="$work/planted"
mkdir -p "$planted"
cp "$build/qvmapi-check.exe" "$planted/"
cp "$build/planted/mapi32.dll" "$planted/mapi32.dll"
cp "$build/wintest_host.exe" "$planted/"
rm -rf "$work/records" && mkdir -p "$work/records"
QV_PLANTED_MARKER=$(winpath "$work/planted-loaded") QV_CLIENT_DIR=$(winpath "$work/records") \
  QV_CLIENT_WAIT_MS=0 WINEDLLOVERRIDES="mscoree,mshtml=;mapi32=n,b" \
  $wine "$planted/qvmapi-check.exe" --send-test > "$out.raw" 2>&1
check "--send-test beside a planted mapi32.dll still reports 0" grep -q 'MAPISendMailW returned 0' "$out.raw"
check "no DLL planted beside qvmapi-check is loaded [$(cat "$work/planted-loaded" 2>/dev/null)]" \
  test ! -e "$work/planted-loaded"
QV_PLANTED_MARKER=$(winpath "$work/planted-control") WINEDLLOVERRIDES="mscoree,mshtml=;mapi32=n,b" \
  $wine "$planted/wintest_host.exe" load-by-name mapi32.dll "$(winpath "$planted")" >/dev/null 2>&1
check "a program that loads mapi32.dll by name gets the planted one" test -e "$work/planted-control"
imports=$(x86_64-w64-mingw32-objdump -p "$build/qvmapi-check.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
check "qvmapi-check imports only DLLs Windows loads from System32 [$imports]" \
  sh -c "! printf '%s\n' \"\$1\" | tr ' ' '\n' | grep -v -i -x -e KERNEL32.dll -e ADVAPI32.dll -e SHELL32.dll -e USER32.dll -e msvcrt.dll -e '' | grep -q ." _ "$imports"
setup_imports=$(x86_64-w64-mingw32-objdump -p "$build/qvmapi-setup.dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
check "the custom actions import only msi.dll and DLLs Windows loads from System32 [$setup_imports]" \
  sh -c "! printf '%s\n' \"\$1\" | tr ' ' '\n' | grep -v -i -x -e KERNEL32.dll -e ADVAPI32.dll -e msi.dll -e msvcrt.dll -e '' | grep -q ." _ "$setup_imports"

run --bogus
check "bad usage gives exit code 2" test "$code" -eq 2
run --help
check "--help gives exit code 0" test "$code" -eq 0
check "--help says the mail client opens" grep -q 'mail client' "$out"

wineserver -k 2>/dev/null
finish qvmapi-check
