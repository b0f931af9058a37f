#!/bin/sh
# Builds the MSI with wixl from a staging folder, adds the public
# properties to SecureCustomProperties (wixl cannot mark them secure) and
# signs it when a certificate is configured (deploy/sign.sh).
# Usage: build-msi.sh SOURCE_DIR STAGE DLL64 DLL32 SETUP_DLL VERSION OUTPUT CHECK_EXE
set -eu
src=$1 stage=$2 dll64=$3 dll32=$4 setup=$5 version=$6 out=$7 check=$8
rm -rf "$stage"
mkdir -p "$stage/x64" "$stage/x86" "$stage/docs"
cp "$dll64" "$stage/x64/qvmapi.dll"
cp "$dll32" "$stage/x86/qvmapi.dll"
cp "$setup" "$stage/qvmapi-setup.dll"
cp "$check" "$stage/qvmapi-check.exe"
cp "$src/README.md" "$src/deploy/register.cmd" "$src/deploy/unregister.cmd" "$stage/"
cp "$src"/docs/*.md "$stage/docs/"
rm -f "$out.tmp"
(cd "$stage" && wixl -a x64 -D Version="$version" -o "$out.tmp" "$src/deploy/qvmapi.wxs")
msibuild "$out.tmp" -q "UPDATE \`Property\` SET \`Value\` = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;CLIENTPATH;MAKEDEFAULT' WHERE \`Property\` = 'SecureCustomProperties'"
if [ -n "${QV_SIGN_PKCS12:-}" ]; then
  sh "$src/deploy/sign.sh" "$out.tmp"
fi
mv "$out.tmp" "$out"
echo "MSI: $out (ProductVersion $version)"
