#!/bin/sh
# The MSI under Wine's msiexec, silent, in a fresh Wine prefix of its own:
# the tables wixl cannot write, read back from the built file; install with
# CLIENTPATH and MAKEDEFAULT=1 (both DLLs in place and byte-identical to the
# built ones, DLLPath, the command, the default, the Active Setup entry and
# its StubPath run as the user would), no log file of the installing user's
# trace log, a repair that keeps it all, a send through the system's
# mapi32.dll, removal back to the registry as it was (an earlier command of
# type REG_EXPAND_SZ and over 2,048 characters included, and the
# MSIComponentID, LCIDs and DLLPathEx the install takes over, whichever
# run removed them), MSMapiApps and the MAPI flag untouched, refused CLIENTPATH
# values, a newer build and a second build of one version over an older one
# (each with DLLs of other bytes, which must be the ones installed), the
# upgrade from the release before the transactional MSI as Windows
# Installer runs it, a user's own default kept and given back by Active
# Setup, and a test-only action that fails at the end of a first install,
# an upgrade and a removal: each leaves HKLM\SOFTWARE\Clients as it was.
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
msiexec() { $wine msiexec "$@" >/dev/null 2>&1; }
export_clients() {
  rm -f "$1"
  $wine reg export 'HKLM\SOFTWARE\Clients' "$(winpath "$1")" /y >/dev/null 2>&1
}
products() {
  $wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' | grep -c 'DisplayName.*Quorvantile Brindleway Simple MAPI'
}
table() { msiinfo export "$1" "$2" | tr -d '\r'; }
# An MSI built from the same files, or from other DLLs: VERSION OUTPUT
# [DLL64 DLL32].
build_msi() {
  sh "$src/deploy/build-msi.sh" "$src" "$work/stage" "${3:-$build/qvmapi.dll}" \
    "${4:-$build/x86/qvmapi.dll}" "$build/qvmapi-setup.dll" "$1" "$2" \
    "$build/qvmapi-check.exe" >/dev/null 2>&1
}
# A copy of a DLL that differs in bytes and not in version: SOURCE OUTPUT.
other_bytes() {
  cp "$1" "$2"
  printf 'another build of the same version' >> "$2"
}
# Active Setup at a user's logon: the entry's StubPath runs when its version
# is not the one this user ran last, which is then recorded.
logon() {
  asv=$(query "$activesetup" '/v Version' | sed -n 's/.*Version *REG_SZ *//p')
  ran=$(query "$useras" '/v Version' | sed -n 's/.*Version *REG_SZ *//p')
  [ -n "$asv" ] && [ "$asv" != "$ran" ] || return 0
  query "$activesetup" '/v StubPath' | sed -n 's/.*StubPath *REG_SZ *//p' > "$work/stub.cmd"
  $wine cmd /c "$(winpath "$work/stub.cmd")" >/dev/null 2>&1
  $wine reg add "$useras" /v Version /d "$asv" /f >/dev/null 2>&1
}
export_user() {
  rm -f "$1"
  $wine reg export 'HKCU\Software\Clients' "$(winpath "$1")" /y >/dev/null 2>&1
  test -e "$1" || : > "$1"
}
# A test-only copy of an MSI with a deferred action that fails at the end of
# the script when CONDITION holds: SOURCE OUTPUT CONDITION.
failing_msi() {
  cp "$1" "$2"
  msibuild "$2" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('QvTestFails', 3106, 'System64Folder', '\"[System64Folder]cmd.exe\" /c exit 1')"
  msibuild "$2" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('QvTestFails', '$3', 6590)"
}
logs() { find "$appdata/Quorvantile Incorporated" -name 'MAPI_*.LOG' 2>/dev/null | wc -l; }
loglevel() { # 1 switches the installing user's trace log on, 0 off
  $wine reg add 'HKCU\SOFTWARE\Quorvantile Incorporated\Quorvantile Brindleway' \
    /v FileLoggingLevel /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

rm -rf "$work"
mkdir -p "$work/records"
msi=$(winpath "$build/qvmapi-$version-x64.msi")
built="$build/qvmapi-$version-x64.msi"

# What wixl drops, set by build-msi.sh: read back from the built tables.
actions=$(table "$built" CustomAction)
sequence=$(table "$built" InstallExecuteSequence)
seq_of() { printf '%s\n' "$sequence" | awk -F '\t' -v a="$1" '$1 == a { print $3 }'; }
for rollback in QvRollbackRegister:QvRegister QvRollbackUnregister:QvUnregister; do
  undo=${rollback%%:*}
  done_by=${rollback#*:}
  check "$undo is a rollback DLL action without impersonation (3393)" \
    sh -c "printf '%s\n' \"\$1\" | grep -q -x \"$undo	3393	QvSetupActions	QvRestore	\"" _ "$actions"
  check "$undo stands right before $done_by" \
    test "$(seq_of "$undo")" -eq $(($(seq_of "$done_by") - 1))
done
check "the older product is removed after InstallFinalize" \
  test "$(seq_of RemoveExistingProducts)" -gt "$(seq_of InstallFinalize)"
upgrade=$(table "$built" Upgrade)
check "the upgrade takes the same version (VersionMaxInclusive)" \
  sh -c "printf '%s\n' \"\$1\" | grep -q '	$msiVersion		513		WIX_UPGRADE_DETECTED\$'" _ "$upgrade"
check "CLIENTPATH and MAKEDEFAULT are secure" \
  sh -c "msiinfo export '$built' Property | grep -q 'SecureCustomProperties	.*CLIENTPATH;MAKEDEFAULT'"
check "no private property is set from the command line" \
  sh -c "! printf '%s' \"\$1\" | grep -q QVCLIENTOK" _ "$actions"
check "the MSI does not install the ZIP's scripts" \
  sh -c "! msiinfo export '$built' File | grep -q -i 'register.cmd'"
# Every file's Version is its own version resource as Windows reads it
# (GetFileVersionInfoW on the staged file), and a versioned file has no
# hash row: Windows Installer keeps a versioned file on disk over one it
# takes for unversioned.
stage="$build/msi-stage"
# The helper prints a version or "-"; nothing at all means Wine did not run
# it (seen once under load), and it is asked again.
file_version() {
  for try in 1 2 3; do
    answer=$($wine "$build/wintest_host.exe" file-version "$(winpath "$1")" 2>/dev/null | tr -d '\r')
    [ -n "$answer" ] && break
  done
  printf '%s' "$answer"
}
files=$(table "$built" File | tail -n +4)
hashes=$(table "$built" MsiFileHash | tail -n +4 | cut -f1)
versioned=0
# Fields by awk: read would run the empty ones together.
printf '%s\n' "$files" | awk -F '\t' '{ print $1 "\t" $3 "\t" ($5 == "" ? "-" : $5) }' > "$work/files.txt"
while IFS='	' read -r key name listed; do
  case "$key" in QvDll64) file="$stage/x64/qvmapi.dll" ;; QvDll32) file="$stage/x86/qvmapi.dll" ;;
  *) file=$(find "$stage" -name "${name#*|}" | head -1) ;; esac
  resource=$(file_version "$file")
  if [ "$resource" = - ]; then
    check "$key has no version resource and no Version" test "$listed" = -
  else
    versioned=$((versioned + 1))
    check "$key's Version ($listed) is its version resource ($resource)" test "$listed" = "$resource"
    check "$key, a versioned file, has no MsiFileHash row" \
      sh -c "! printf '%s\n' \"\$1\" | grep -q -x \"\$2\"" _ "$hashes" "$key"
  fi
done < "$work/files.txt"
check "both DLLs and qvmapi-check are versioned files" test "$versioned" -ge 3
check "the custom actions' DLL carries the product's file version" \
  test "$(file_version "$build/qvmapi-setup.dll")" = "$(file_version "$build/qvmapi.dll")"
check "an equal version on disk is replaced (REINSTALLMODE emus)" \
  sh -c "msiinfo export '$built' Property | grep -q '^REINSTALLMODE	emus'"
removed=$(table "$built" RemoveFile)
for dll in QvDll64:System64Folder QvDll32:SystemFolder; do
  check "an install removes the earlier ${dll%%:*} before it copies its own" \
    sh -c "printf '%s\n' \"\$1\" | grep -q '	${dll%%:*}	qvmapi.dll	${dll#*:}	1\$'" _ "$removed"
done

# The package for Windows on ARM, read back from its tables (neither Wine
# here can install it: amd64 Wine runs no ARM64 DLL, and arm64 Wine no x64
# custom action): an Arm64 template, the three DLLs of the arm64 build in
# the 64-bit system folder as 64-bit components, the 32-bit DLL in the
# 32-bit one, each with its version and the removal of the earlier copy.
armmsi="$build/qvmapi-$version-arm64.msi"
armstage="$build/msi-stage-arm64"
check "the ARM64 package's Template is Arm64;1033" \
  sh -c "msiinfo suminfo '$armmsi' | grep -q -x 'Template: Arm64;1033'"
armcomponents=$(table "$armmsi" Component)
armfiles=$(table "$armmsi" File)
armremoved=$(table "$armmsi" RemoveFile)
for entry in QvDll64:qvmapi.dll:System64Folder QvDllArm64:qvmapi_arm64.dll:System64Folder \
             QvDllX64:qvmapi_x64.dll:System64Folder QvDll32:qvmapi.dll:SystemFolder; do
  key=${entry%%:*} rest=${entry#*:} file=${rest%%:*} folder=${entry##*:}
  case "$key" in QvDll32) staged="$armstage/x86/qvmapi.dll" made="$build/x86/qvmapi.dll" ;;
  *) staged="$armstage/arm64/$file" made="$build/arm64/$file" ;; esac
  check "ARM64 package: $key is the built $file" cmp -s "$staged" "$made"
  check "ARM64 package: $key goes to $folder" \
    sh -c "printf '%s\n' \"\$1\" | awk -F '\t' -v k=$key -v d=$folder '\$1 == k && \$3 == d' | grep -q ." _ "$armcomponents"
  [ "$key" = QvDll32 ] || check "ARM64 package: $key is a 64-bit component" \
    sh -c "printf '%s\n' \"\$1\" | awk -F '\t' -v k=$key '\$1 == k && int(\$4 / 256) % 2 == 1' | grep -q ." _ "$armcomponents"
  resource=$(file_version "$staged")
  check "ARM64 package: $key's Version is its version resource ($resource)" \
    sh -c "printf '%s\n' \"\$1\" | awk -F '\t' -v k=$key -v v=$resource '\$1 == k && \$3 == \"$file\" && \$5 == v' | grep -q ." _ "$armfiles"
  check "ARM64 package: an install removes the earlier $file of $key first" \
    sh -c "printf '%s\n' \"\$1\" | grep -q '	$key	$file	$folder	1\$'" _ "$armremoved"
done
check "ARM64 package: DLLPath names the Arm64X qvmapi.dll" \
  sh -c "msiinfo export '$armmsi' CustomAction | grep -q 'QvSetRegisterData.*\[#QvDll64\]'"

fresh_prefix
# A 64-bit Windows always has a SysWOW64 full of system files; a Wine prefix
# without 32-bit support has none, and the MSI would make and remove it.
mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
: > "$WINEPREFIX/drive_c/windows/syswow64/placeholder.dll"
sys64="$WINEPREFIX/drive_c/windows/system32/qvmapi.dll"
sys32="$WINEPREFIX/drive_c/windows/syswow64/qvmapi.dll"
appdata="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming"
client=$(winpath "$build/stand_in_client.exe")
mailkey='HKLM\SOFTWARE\Clients\Mail'
clientkey="$mailkey\\Outlook Web Access"
activesetup='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}'
useras='HKCU\Software\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}'

# An earlier registration as administrators write it: a REG_EXPAND_SZ
# command longer than 2,048 characters.
long="%SystemDrive%\\$(printf '%02100d' 0)\\client.exe"
$wine reg add "$clientkey\\shell\\open\\command" /ve /t REG_EXPAND_SZ /d "$long" /f >/dev/null 2>&1
# And what an earlier product left there that Windows' Simple MAPI stub
# follows before DLLPath: MSIComponentID with its two LCID values, and a
# REG_EXPAND_SZ DLLPathEx. A program routed elsewhere and the MAPI flag
# are the machine's: the install leaves them.
stale_values "$clientkey" REG_EXPAND_SZ '%ProgramFiles%\Old Mail\mapi-ex.dll'
stale() { stale_left "$clientkey"; }
messaging='HKLM\SOFTWARE\Microsoft\Windows Messaging Subsystem'
$wine reg add "$messaging\MSMapiApps" /v host.exe /d 'Other Client' /f >/dev/null 2>&1
machine_mapi() { query "$messaging" /s; query "$messaging" '/s /reg:32'; }
mapi_before=$(machine_mapi)
export_clients "$work/before.reg"
check "a fresh prefix has a default mail client" has "$(query "$mailkey" /ve)" "REG_SZ"
check "the earlier command is a long REG_EXPAND_SZ" \
  sh -c "iconv -f UTF-16LE -t UTF-8 '$work/before.reg' | grep -q '^@=hex(2):25,00,53,00'"

loglevel 1
msiexec /i "$msi" /qn CLIENTPATH="$client" MAKEDEFAULT=1 /l*v "$(winpath "$work/install.log")"
check "the silent install succeeds" test $? -eq 0
check "the install writes no log file of the installing user's trace log" test "$(logs)" -eq 0
loglevel 0
check "the 64-bit DLL is the built one" cmp -s "$sys64" "$build/qvmapi.dll"
check "the 32-bit DLL in syswow64 is the built one" cmp -s "$sys32" "$build/x86/qvmapi.dll"
check "the 32-bit DLL is a 32-bit DLL" sh -c "i686-w64-mingw32-objdump -f '$sys32' | grep -q pei-i386"
check "DLLPath names the 64-bit system folder's copy" \
  has "$(query "$clientkey" '/v DLLPath')" 'system32\qvmapi.dll'
check "the client command is CLIENTPATH" \
  has "$(query "$clientkey\\shell\\open\\command" /ve)" "REG_SZ    $client"
check "Outlook Web Access is the default mail client" \
  has "$(query "$mailkey" /ve)" "REG_SZ    Outlook Web Access"
check "the install leaves nothing the stub follows before DLLPath [$(stale)]" test -z "$(stale)"
check "it keeps the DLLPathEx with its type for removal" \
  has "$(query 'HKLM\SOFTWARE\Quorvantile Incorporated\Quorvantile Brindleway\Setup' '/v PreviousDllPathEx')" 'REG_EXPAND_SZ    %ProgramFiles%\Old Mail\mapi-ex.dll'
check "the install leaves MSMapiApps and the MAPI flag of both views as they were" \
  test "$(machine_mapi)" = "$mapi_before"
check "the install log names CLIENTPATH" \
  sh -c "iconv -f UTF-16LE -t UTF-8 '$work/install.log' 2>/dev/null | grep -q 'qvmapi: client command' || grep -a -q 'qvmapi: client command' '$work/install.log'"

# MAKEDEFAULT=1 reaches every user: Active Setup runs StubPath once per user
# at logon (Wine runs none); run it as the user would. The user's own
# default is kept for the way back.
stub=$(query "$activesetup" '/v StubPath' | sed -n 's/.*StubPath *REG_SZ *//p')
check "the Active Setup entry's StubPath keeps, then removes, the user's own default" \
  test "$stub" = 'cmd.exe /c reg.exe copy "HKCU\Software\Clients\Mail" "HKCU\Software\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}\PreviousMailDefault" /f & reg.exe delete "HKCU\Software\Clients\Mail" /ve /f'
check "the Active Setup entry has a version" has "$(query "$activesetup" '/v Version')" "REG_SZ    3,1,0,6"
$wine reg add 'HKCU\Software\Clients\Mail' /ve /d 'Tom & Jerry Mail 100% ^! "Ωmega"' /f >/dev/null 2>&1
export_user "$work/user-before.reg"
logon
installed="$WINEPREFIX/drive_c/Program Files/Quorvantile/qvmapi/qvmapi-check.exe"
$wine "$installed" 2>/dev/null | tr -d '\r' > "$work/check.txt"
check "after StubPath, qvmapi-check finds no per-user default" \
  grep -q '^ok: the default mail client is "Outlook Web Access" (the machine.s; this user has none' "$work/check.txt"
check "qvmapi-check: the stub follows DLLPath" \
  grep -q '^ok: Windows. Simple MAPI stub follows DLLPath of "Outlook Web Access" (no MSIComponentID; no DLLPathEx)' "$work/check.txt"
check "qvmapi-check names the program MSMapiApps routes elsewhere" \
  grep -q '^problem: MSMapiApps (64-bit view) routes "host.exe" to the mail client "Other Client"' "$work/check.txt"

# A repair, as software distribution and Group Policy run it, keeps the
# registration (Wine's msiexec /fa takes no package path).
# A DLLPathEx written since (REG_SZ this time) goes again.
export_clients "$work/installed.reg"
$wine reg add "$clientkey" /v DLLPathEx /d 'C:\Later\mapi.dll' /f >/dev/null 2>&1
msiexec /i "$msi" REINSTALL=ALL REINSTALLMODE=omus /qn
check "the repair succeeds" test $? -eq 0
export_clients "$work/repaired.reg"
check "the repair keeps the command and the default, and removes a new DLLPathEx" \
  cmp -s "$work/installed.reg" "$work/repaired.reg"
check "the repair keeps the Active Setup entry" has "$(query "$activesetup" '/v StubPath')" "reg.exe"

send_deployed send-stub "$work/records"

rm -rf "$appdata/Quorvantile Incorporated"
loglevel 1
msiexec /x "$msi" /qn
check "the silent removal succeeds" test $? -eq 0
check "the removal writes no log file of the installing user's trace log" test "$(logs)" -eq 0
loglevel 0
export_clients "$work/after.reg"
check "removal leaves HKLM\\SOFTWARE\\Clients as before the install" cmp -s "$work/before.reg" "$work/after.reg"
check "removal leaves the Active Setup entry that gives users their default back" \
  has "$(query "$activesetup" '/v Version')" "REG_SZ    3,1,0,7"
logon
export_user "$work/user-after.reg"
check "the user's next logon gives back their own default exactly" cmp -s "$work/user-before.reg" "$work/user-after.reg"
check "the logon leaves nothing it kept" sh -c "! $wine reg query '$useras\\PreviousMailDefault' >/dev/null 2>&1"
# A user without a default of their own has none after install and removal.
$wine reg delete 'HKCU\Software\Clients\Mail' /ve /f >/dev/null 2>&1
export_user "$work/user-none-before.reg"
msiexec /i "$msi" /qn CLIENTPATH="$client" MAKEDEFAULT=1
logon
msiexec /x "$msi" /qn
logon
export_user "$work/user-none-after.reg"
check "a user without a default of their own has none afterwards" \
  cmp -s "$work/user-none-before.reg" "$work/user-none-after.reg"
check "no DLL is left behind" test ! -e "$sys64" -a ! -e "$sys32"
check "no product is left installed" test "$(products)" -eq 0

# Values that break the client path rule are not written, and the log says
# why; a private property given on the command line changes nothing.
printf '@"%s" %%*\r\n' "$client" > "$work/wrapper.cmd"
n=0
for bad in 'stand_in_client.exe' "$(winpath "$work/wrapper.cmd")"; do
  n=$((n + 1))
  msiexec /i "$msi" /qn CLIENTPATH="$bad" QVCLIENTOK=1 QvClientVerdict=ok /l*v "$(winpath "$work/refused-$n.log")"
  check "an install with CLIENTPATH [$bad] succeeds" test $? -eq 0
  check "CLIENTPATH [$bad] is not written" \
    sh -c "! $wine reg query '$clientkey\\shell\\open\\command' /ve 2>/dev/null | grep -q -F '$bad'"
  check "the log says why [$bad] was refused" \
    sh -c "iconv -f UTF-16LE -t UTF-8 '$work/refused-$n.log' 2>/dev/null | grep -q 'is not written' || grep -a -q 'is not written' '$work/refused-$n.log'"
  check "DLLPath is written all the same" has "$(query "$clientkey" '/v DLLPath')" 'qvmapi.dll'
  msiexec /x "$msi" /qn
done
export_clients "$work/after-refused.reg"
check "the refused installs leave nothing behind" cmp -s "$work/before.reg" "$work/after-refused.reg"

# A newer build replaces an older one, and so does a second build of the
# same version: one product, its own DLLs in place (the file version is
# 3.1.0.6 in every build), the registration kept, then a clean removal.
major=${msiVersion%%.*}
rest=${msiVersion#*.}
minor=${rest%%.*}
patch=${rest#*.}
newer="$major.$minor.$((patch + 1))"
other_bytes "$build/qvmapi.dll" "$work/other-x64.dll"
other_bytes "$build/x86/qvmapi.dll" "$work/other-x86.dll"
build_msi "$newer" "$work/newer.msi" "$work/other-x64.dll" "$work/other-x86.dll"
build_msi "$msiVersion" "$work/rebuilt.msi" "$work/other-x64.dll" "$work/other-x86.dll"
check "a rebuild of one version has a product code of its own" test \
  "$(table "$work/rebuilt.msi" Property | grep ProductCode)" != "$(table "$built" Property | grep ProductCode)"
for next in newer rebuilt; do
  msiexec /i "$msi" /qn CLIENTPATH="$client" MAKEDEFAULT=1
  $wine reg add "$clientkey" /v MSIComponentID /d '{00000000-0000-0000-0000-00000000000A}' /f >/dev/null 2>&1
  msiexec /i "$(winpath "$work/$next.msi")" /qn
  check "the $next build installs over the older one" test $? -eq 0
  check "$next: nothing the stub follows before DLLPath is left [$(stale)]" test -z "$(stale)"
  check "$next: one product is installed, not two" test "$(products)" -eq 1
  check "$next: its 64-bit DLL is in place" cmp -s "$sys64" "$work/other-x64.dll"
  check "$next: its 32-bit DLL is in place" cmp -s "$sys32" "$work/other-x86.dll"
  check "$next: the registration survives, CLIENTPATH not given again" \
    has "$(query "$clientkey\\shell\\open\\command" /ve)" "REG_SZ    $client"
  check "$next: the default survives" has "$(query "$mailkey" /ve)" "REG_SZ    Outlook Web Access"
  msiexec /x "$(winpath "$work/$next.msi")" /qn
  export_clients "$work/after-$next.reg"
  check "$next: its removal puts the registry back as before both" \
    cmp -s "$work/before.reg" "$work/after-$next.reg"
  check "$next: no product remains" test "$(products)" -eq 0
done

# The upgrade from the release before the transactional MSI, which neither
# remembered CLIENTPATH nor keeps the registration when it is removed
# without UPGRADINGPRODUCTCODE. Windows Installer removes it after this
# product's InstallFinalize, with UPGRADINGPRODUCTCODE set; Wine's msiexec
# runs that removal without the property. So the test runs it as Windows
# does: this MSI without its RemoveExistingProducts row, then the earlier
# product's removal as Windows starts it.
if ! git -C "$src" cat-file -e 'd22c57f^{commit}' 2>/dev/null; then
  echo "SKIP: the upgrade from d22c57f: this checkout has no history to build it from"
else
release=$(sh "$src/tests/windows/release-msi.sh" "$src" d22c57f "$src/build/history")
check "the release before the transactional MSI builds from the history" test -n "$release"
oldcode=$(table "$release" Property | awk -F '\t' '$1 == "ProductCode" { print $2 }')
newcode=$(table "$built" Property | awk -F '\t' '$1 == "ProductCode" { print $2 }')
cp "$built" "$work/no-rep.msi"
msibuild "$work/no-rep.msi" -q "DELETE FROM \`InstallExecuteSequence\` WHERE \`Action\` = 'RemoveExistingProducts'"
# That release kept an earlier command as REG_SZ whatever its type: give it
# a plain one, and put the long REG_EXPAND_SZ back afterwards.
$wine reg add "$clientkey\\shell\\open\\command" /ve /d 'C:\Old Mail\client.exe' /f >/dev/null 2>&1
export_clients "$work/before-release.reg"
msiexec /i "$(winpath "$release")" /qn CLIENTPATH="$client" MAKEDEFAULT=1
check "the earlier release installs" test "$(products)" -eq 1
msiexec /i "$(winpath "$work/no-rep.msi")" /qn
check "this MSI installs over it without CLIENTPATH" test $? -eq 0
msiexec /x "$oldcode" UPGRADINGPRODUCTCODE="$newcode" /qn
check "the earlier release's removal, as Windows runs it, succeeds" test $? -eq 0
check "d22c57f upgrade: one product is listed" test "$(products)" -eq 1
check "d22c57f upgrade: the client command stays" \
  has "$(query "$clientkey\\shell\\open\\command" /ve)" "REG_SZ    $client"
check "d22c57f upgrade: DLLPath stays" has "$(query "$clientkey" '/v DLLPath')" 'system32\qvmapi.dll'
check "d22c57f upgrade: what the release left that the stub follows first goes [$(stale)]" test -z "$(stale)"
check "d22c57f upgrade: the default mail client stays" has "$(query "$mailkey" /ve)" "REG_SZ    Outlook Web Access"
check "d22c57f upgrade: the new 64-bit DLL is in place" cmp -s "$sys64" "$build/qvmapi.dll"
check "d22c57f upgrade: the new 32-bit DLL is in place" cmp -s "$sys32" "$build/x86/qvmapi.dll"
msiexec /x "$newcode" /qn
export_clients "$work/after-release.reg"
check "d22c57f upgrade: the removal puts back the registry as before the release" \
  cmp -s "$work/before-release.reg" "$work/after-release.reg"
check "d22c57f upgrade: no product remains" test "$(products)" -eq 0
$wine reg add "$clientkey\\shell\\open\\command" /ve /t REG_EXPAND_SZ /d "$long" /f >/dev/null 2>&1

fi

# A run that fails at the end of its script puts back what was there.
failing_msi "$built" "$work/fail-install.msi" 'NOT Installed'
activesetup_before=$(query "$activesetup" /s)
msiexec /i "$(winpath "$work/fail-install.msi")" /qn CLIENTPATH="$client" MAKEDEFAULT=1
check "a failing first install fails" test $? -ne 0
export_clients "$work/after-fail-install.reg"
check "a failed first install leaves HKLM\\SOFTWARE\\Clients as before" \
  cmp -s "$work/before.reg" "$work/after-fail-install.reg"
check "a failed first install leaves the Active Setup entry as it was" \
  test "$(query "$activesetup" /s)" = "$activesetup_before"
check "a failed first install leaves no product and no DLL" test "$(products)" -eq 0 -a ! -e "$sys64"

failing_msi "$work/newer.msi" "$work/fail-upgrade.msi" 'NOT Installed'
msiexec /i "$msi" /qn CLIENTPATH="$client" MAKEDEFAULT=1
export_clients "$work/old-installed.reg"
msiexec /i "$(winpath "$work/fail-upgrade.msi")" /qn
check "a failing upgrade fails" test $? -ne 0
export_clients "$work/after-fail-upgrade.reg"
check "a failed upgrade leaves the older version's registration as it was" \
  cmp -s "$work/old-installed.reg" "$work/after-fail-upgrade.reg"
check "a failed upgrade leaves the older product installed" test "$(products)" -eq 1
msiexec /x "$msi" /qn

failing_msi "$built" "$work/fail-remove.msi" 'REMOVE="ALL"'
msiexec /i "$(winpath "$work/fail-remove.msi")" /qn CLIENTPATH="$client" MAKEDEFAULT=1
check "the build that fails on removal installs" test $? -eq 0
# Wine's rollback restores no folder that the removal deleted, and stops
# at the first file it cannot put back, before the custom rollback actions:
# files of the administrator's keep the folders, as Windows' rollback would.
folder="$WINEPREFIX/drive_c/Program Files/Quorvantile/qvmapi"
: > "$folder/site-notes.txt"
: > "$folder/docs/site-notes.txt"
export_clients "$work/installed-to-fail.reg"
msiexec /x "$(winpath "$work/fail-remove.msi")" /qn
check "a failing removal fails" test $? -ne 0
export_clients "$work/after-fail-remove.reg"
check "a failed removal leaves the registration as it was" \
  cmp -s "$work/installed-to-fail.reg" "$work/after-fail-remove.reg"
check "a failed removal keeps the earlier state for the next removal" \
  has "$(query 'HKLM\SOFTWARE\Quorvantile Incorporated\Quorvantile Brindleway\Setup' '/v PreviousClientCommand')" 'REG_EXPAND_SZ'

wineserver -k 2>/dev/null
finish installer
