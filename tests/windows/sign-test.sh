#!/bin/sh
# Signing: a throwaway self-signed code-signing certificate made here with
# openssl signs both DLLs and the MSI through deploy/sign.sh, the script
# the build uses; osslsigncode must accept each against that certificate
# and refuse a copy with one byte changed. No key is ever kept.
# Usage: sign-test.sh SOURCE_DIR BUILD_DIR VERSION
set -u
src=$1
build=$2
version=$3
. "$src/tests/windows/test-lib.sh"
work="$build/sign-test"
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" \
  -out "$work/cert.pem" -days 2 -subj "/CN=qvmapi throwaway test signer" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
  >/dev/null 2>&1
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
  -out "$work/signer.p12" -passout pass:throwaway >/dev/null 2>&1
check "a test certificate was made" test -s "$work/signer.p12"
mkdir -p "$work/x64" "$work/x86"
cp "$build/qvmapi.dll" "$work/x64/qvmapi.dll"
cp "$build/x86/qvmapi.dll" "$work/x86/qvmapi.dll"
cp "$build/qvmapi-$version-x64.msi" "$work/qvmapi.msi"
QV_SIGN_PKCS12="$work/signer.p12" QV_SIGN_PASSWORD=throwaway \
  sh "$src/deploy/sign.sh" "$work/x64/qvmapi.dll" "$work/x86/qvmapi.dll" "$work/qvmapi.msi" >/dev/null
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >/dev/null 2>&1; }
# One byte inside what the signature covers: the code of a DLL, the
# embedded cabinet of the MSI.
tamper() {
  cp "$1" "$2"
  at=$3
  byte=$(dd if="$2" bs=1 skip="$at" count=1 2>/dev/null | od -An -tx1 | tr -d ' \n')
  if [ "$byte" = "5a" ]; then new='Y'; else new='Z'; fi
  printf '%s' "$new" | dd of="$2" bs=1 seek="$at" conv=notrunc 2>/dev/null
}
for f in x64/qvmapi.dll x86/qvmapi.dll qvmapi.msi; do
  check "$f is signed and the signature verifies" verify "$work/$f"
done
check "the signed 64-bit DLL still passes the file checks" \
  sh "$src/tests/windows/check-dll.sh" "$work/x64/qvmapi.dll" x86_64 >/dev/null
tamper "$work/x64/qvmapi.dll" "$work/x64-tampered.dll" 4200
tamper "$work/x86/qvmapi.dll" "$work/x86-tampered.dll" 4200
cab=$(grep -abo MSCF "$work/qvmapi.msi" | head -1 | cut -d: -f1)
tamper "$work/qvmapi.msi" "$work/tampered.msi" $((cab + 2000))
for f in x64-tampered.dll x86-tampered.dll tampered.msi; do
  check "$f, one byte changed, is refused" sh -c '! osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1' _ "$work/cert.pem" "$work/$f"
done
finish signing
