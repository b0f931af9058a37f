#!/bin/sh
# Builds the MSI with wixl from a staging folder, sets what wixl drops (the
# public properties in SecureCustomProperties, the rollback type of the
# rollback actions, the same-version upgrade) and signs it when a
# certificate is configured (deploy/sign.sh). tests/windows/msi-test.sh
# reads these back from the built tables.
# Usage: build-msi.sh SOURCE_DIR STAGE DLL64 DLL32 SETUP_DLL VERSION OUTPUT CHECK_EXE
set -eu
src=$1 stage=$2 dll64=$3 dll32=$4 setup=$5 version=$6 out=$7 check=$8
rm -rf "$stage"
mkdir -p "$stage/x64" "$stage/x86" "$stage/docs"
cp "$dll64" "$stage/x64/qvmapi.dll"
cp "$dll32" "$stage/x86/qvmapi.dll"
cp "$setup" "$stage/qvmapi-setup.dll"
cp "$check" "$stage/qvmapi-check.exe"
cp "$src/README.md" "$stage/"
cp "$src"/docs/*.md "$stage/docs/"
rm -f "$out.tmp"
(cd "$stage" && wixl -a x64 -D Version="$version" -o "$out.tmp" "$src/deploy/qvmapi.wxs")
sql() { msibuild "$out.tmp" -q "$1"; }
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
