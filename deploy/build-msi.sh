#!/bin/sh
# Builds the MSI with wixl from a staging folder, sets what wixl drops (the
# public properties in SecureCustomProperties, the rollback type of the
# rollback actions, the same-version upgrade, the files' versions and the
# removal of the earlier DLLs) and signs it when a certificate is
# configured (deploy/sign.sh). tests/windows/msi-test.sh reads these back
# from the built tables.
# With ARM64_DIR (the windows-arm64 build: the Arm64X qvmapi.dll,
# qvmapi_arm64.dll and qvmapi_x64.dll), the package for Windows on ARM: the
# three go to the 64-bit system folder, the summary's Template is Arm64.
# Usage: build-msi.sh SOURCE_DIR STAGE DLL64 DLL32 SETUP_DLL VERSION OUTPUT CHECK_EXE [ARM64_DIR]
set -eu
src=$1 stage=$2 dll64=$3 dll32=$4 setup=$5 version=$6 out=$7 check=$8
arm64=${9:-}
rm -rf "$stage"
mkdir -p "$stage/x64" "$stage/x86" "$stage/docs"
cp "$dll64" "$stage/x64/qvmapi.dll"
arch=x64
if [ -n "$arm64" ]; then
  arch=arm64
  mkdir -p "$stage/arm64"
  cp "$arm64/qvmapi.dll" "$arm64/qvmapi_arm64.dll" "$arm64/qvmapi_x64.dll" "$stage/arm64/"
fi
cp "$dll32" "$stage/x86/qvmapi.dll"
cp "$setup" "$stage/qvmapi-setup.dll"
cp "$check" "$stage/qvmapi-check.exe"
cp "$src/README.md" "$stage/"
cp "$src"/docs/*.md "$stage/docs/"
rm -f "$out.tmp"
(cd "$stage" && wixl -a x64 -D Version="$version" -D Arch="$arch" -o "$out.tmp" "$src/deploy/qvmapi.wxs")
sql() { msibuild "$out.tmp" -q "$1"; }
# The version of a file's version resource, a.b.c.d, or nothing: the
# VS_FIXEDFILEINFO signature 0xFEEF04BD inside the file's resource section
# (llvm-readobj reads the sections of PE files of every machine).
file_version() {
  set -- "$1" $(llvm-readobj-19 --sections "$1" 2>/dev/null | awk '
    /Name: / { rsrc = ($2 == ".rsrc") }
    rsrc && /RawDataSize:/ { size = $2 }
    rsrc && /PointerToRawData:/ { print $2, size; exit }')
  [ $# -eq 3 ] || return 0
  start=$(($2)) end=$(($2 + $3))
  at=$(LC_ALL=C grep -obUaP '\xbd\x04\xef\xfe' "$1" | cut -d: -f1 |
    awk -v s="$start" -v e="$end" '$1 >= s && $1 < e { print; exit }')
  [ -n "$at" ] || return 0
  set -- $(od -An -tu2 -j $((at + 8)) -N 8 "$1")
  echo "$2.$1.$4.$3"
}
# wixl writes every file as unversioned, with a hash: Windows Installer
# would keep any versioned qvmapi.dll already on disk over it. A file with
# a version resource gets that version and no hash row.
files="QvDll64:x64/qvmapi.dll QvDll32:x86/qvmapi.dll QvCheckExe:qvmapi-check.exe"
[ -z "$arm64" ] || files="QvDll64:arm64/qvmapi.dll QvDllArm64:arm64/qvmapi_arm64.dll QvDllX64:arm64/qvmapi_x64.dll QvDll32:x86/qvmapi.dll QvCheckExe:qvmapi-check.exe"
for entry in $files; do
  key=${entry%%:*}
  resource=$(file_version "$stage/${entry#*:}")
  [ -n "$resource" ] || continue
  sql "UPDATE \`File\` SET \`Version\` = '$resource' WHERE \`File\` = '$key'"
  sql "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = '$key'"
done
# Every build of this release carries the file version 3.1.0.6, and under
# the default rules ("o") an equal version on disk is kept: an upgrade or a
# second build of the version would leave the earlier DLLs in place. "e"
# replaces an equal or older version (never a newer one); the package holds
# only the product's own files. The RemoveFile rows delete the earlier copy
# (backed up for rollback) before the new one is copied, which gives the
# same result under an installer that ignores REINSTALLMODE's letters, as
# Wine's msiexec does.
sql "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('REINSTALLMODE', 'emus')"
sql "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`) VALUES ('QvEarlierDll64', 'QvDll64', 'qvmapi.dll', 'System64Folder', 1)"
sql "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`) VALUES ('QvEarlierDll32', 'QvDll32', 'qvmapi.dll', 'SystemFolder', 1)"
if [ -n "$arm64" ]; then
  for dll in Arm64:qvmapi_arm64.dll X64:qvmapi_x64.dll; do
    sql "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`) VALUES ('QvEarlierDll${dll%%:*}', 'QvDll${dll%%:*}', '${dll#*:}', 'System64Folder', 1)"
  done
  # wixl knows no ARM64 package: the summary's Template says it. Windows
  # Installer then takes System64Folder for the native (ARM64) System32.
  msibuild "$out.tmp" -s "qvmapi.dll for Windows on ARM: ARM64, x64 and 32-bit applications" \
    "$(msiinfo suminfo "$out.tmp" | sed -n 's/^Author: //p')" 'Arm64;1033' \
    "$(msiinfo suminfo "$out.tmp" | sed -n 's/^Revision number (UUID): //p')"
fi
sql "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;CLIENTPATH;MAKEDEFAULT' WHERE \`Property\` = 'SecureCustomProperties'"
# A DLL from the Binary table (1), return ignored (64), rollback (256), in
# the script (1024), without impersonation (2048).
sql "UPDATE \`CustomAction\` SET \`Type\` = 3393 WHERE \`Action\` = 'QvRollbackRegister' OR \`Action\` = 'QvRollbackUnregister'"
# The upgrade row takes the same version too: a second build of one
# version replaces the first (migrate features 1, VersionMaxInclusive 512).
# Attributes is part of the row's key: the row is written anew.
code=$(msiinfo export "$out.tmp" Upgrade | tr -d '\r' | awk -F '\t' '$NF == "WIX_UPGRADE_DETECTED" { print $1 }')
sql "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
sql "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$code', '$version', 513, 'WIX_UPGRADE_DETECTED')"
if [ -n "${QV_SIGN_PKCS12:-}" ]; then
  sh "$src/deploy/sign.sh" "$out.tmp"
fi
mv "$out.tmp" "$out"
echo "MSI: $out (ProductVersion $version)"
