#!/bin/sh
# Builds the release ZIP and checks its contents, the SHA-256 line of each
# file in it, and the checksum of the ZIP itself; then follows the README's
# ZIP steps as written in a fresh Wine prefix of its own: unpack into
# C:\Program Files\Quorvantile\qvmapi, check SHA256SUMS, install a mail
# client, register.cmd "...\client.exe" /default from that folder, a send
# through the system's mapi32.dll, unregister.cmd.
# Usage: package-test.sh SOURCE_DIR BUILD_DIR CMAKE VERSION
set -u
src=$1
build=$2
cmake=$3
version=$4
prefix="$build/package-prefix"
. "$src/tests/windows/test-lib.sh"
name="qvmapi-$version-win64"
rm -f "$build/$name.zip" "$build/$name.zip.sha256"
"$cmake" --build "$build" --target package >/dev/null || { echo "0 passed, 1 failed"; exit 1; }
listing=$(cd "$build" && "$cmake" -E tar tf "$name.zip" 2>/dev/null)
for entry in x64/qvmapi.dll x86/qvmapi.dll arm64/qvmapi.dll arm64/qvmapi_arm64.dll \
             arm64/qvmapi_x64.dll "qvmapi-$version-x64.msi" "qvmapi-$version-arm64.msi" \
             qvmapi-check.exe register.cmd \
             unregister.cmd README.md docs/command-line.md docs/BUILDS.md SHA256SUMS; do
  check "the package holds $entry" sh -c "printf '%s\n' \"\$1\" | grep -qx '$name/$entry'" _ "$listing"
done
check "no test programs in the package" sh -c "! printf '%s\n' \"\$1\" | grep '\.exe$' | grep -vq 'qvmapi-check.exe$'" _ "$listing"
check "the checksum file exists" test -s "$build/$name.zip.sha256"
check "the checksum matches" sh -c "cd '$build' && sha256sum -c '$name.zip.sha256' >/dev/null"
unpacked="$build/package-test"
rm -rf "$unpacked" && mkdir -p "$unpacked"
(cd "$unpacked" && "$cmake" -E tar xf "$build/$name.zip")
check "the packaged 64-bit DLL is the built one" cmp -s "$unpacked/$name/x64/qvmapi.dll" "$build/qvmapi.dll"
check "the packaged 32-bit DLL is the built one" cmp -s "$unpacked/$name/x86/qvmapi.dll" "$build/x86/qvmapi.dll"
for dll in qvmapi.dll qvmapi_arm64.dll qvmapi_x64.dll; do
  check "the packaged arm64\\$dll is the built one" cmp -s "$unpacked/$name/arm64/$dll" "$build/arm64/$dll"
done
check "the packaged MSI is the built one" cmp -s "$unpacked/$name/qvmapi-$version-x64.msi" "$build/qvmapi-$version-x64.msi"
files=$(cd "$unpacked/$name" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort)
listed=$(cut -c67- "$unpacked/$name/SHA256SUMS" | sort)
check "SHA256SUMS has a line for every other file" test "$files" = "$listed"

# The README's steps, word for word.
fresh_prefix
here="$WINEPREFIX/drive_c/Program Files/Quorvantile/qvmapi"
mkdir -p "$here" "$WINEPREFIX/drive_c/Program Files/Mail" "$build/package-records"
rm -f "$build"/package-records/*
# 1. Unpack it into a folder of its own, and check it.
(cd "$here" && "$cmake" -E tar xf "$build/$name.zip" && mv "$name"/* . && rmdir "$name")
check "1. every file matches its SHA-256 line" sh -c "cd '$here' && sha256sum -c --quiet SHA256SUMS"
# 2. Install the mail client program that is to do the sending.
cp "$build/stand_in_client.exe" "$WINEPREFIX/drive_c/Program Files/Mail/client.exe"
$wine reg export 'HKLM\SOFTWARE\Clients' "$(winpath "$build/package-before.reg")" /y >/dev/null 2>&1
# 3. From an elevated prompt in that folder, register both.
said=$(cd "$here" && $wine cmd /c register.cmd "C:\\Program Files\\Mail\\client.exe" /default 2>&1 | tr -d '\r')
check "3. register.cmd succeeds from the unpacked ZIP [$said]" \
  sh -c "cd '$here' && $wine cmd /c register.cmd 'C:\\Program Files\\Mail\\client.exe' /default >/dev/null 2>&1"
check "3. it says which DLL it registered" sh -c "printf '%s' \"\$1\" | grep -q -F 'qvmapi\\x64\\qvmapi.dll'" _ "$said"
check "3. DLLPath names the ZIP's 64-bit DLL" sh -c \
  "$wine reg query 'HKLM\SOFTWARE\Clients\Mail\Outlook Web Access' /v DLLPath 2>/dev/null | grep -q -F 'C:\\Program Files\\Quorvantile\\qvmapi\\x64\\qvmapi.dll'"
check "3. /default writes the Active Setup entry for every user" sh -c \
  "$wine reg query 'HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}' /v StubPath 2>/dev/null | grep -q '/f & reg.exe delete \"HKCU.Software.Clients.Mail\" /ve /f'"
# 4. Check: an application's "send as mail" starts the client.
send_deployed send-stub "$build/package-records" "4. "
# 5. To remove it, run unregister.cmd from the same folder.
(cd "$here" && $wine cmd /c unregister.cmd >/dev/null 2>&1)
$wine reg export 'HKLM\SOFTWARE\Clients' "$(winpath "$build/package-after.reg")" /y >/dev/null 2>&1
check "5. unregister.cmd leaves HKLM\\SOFTWARE\\Clients as before" \
  cmp -s "$build/package-before.reg" "$build/package-after.reg"
check "5. unregister.cmd leaves the Active Setup entry that gives each user their own default back" sh -c \
  "$wine reg query 'HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}' /v StubPath 2>/dev/null | grep -q 'PreviousMailDefault\" \"HKCU.Software.Clients.Mail\" /f'"
wineserver -k 2>/dev/null
finish "release package"
