#!/bin/sh
# Signs PE files and MSIs in place with osslsigncode (Authenticode).
# Usage: sign.sh FILE...
# Environment: QV_SIGN_PKCS12 (the certificate and key), QV_SIGN_PASSWORD
# or QV_SIGN_PASSWORD_FILE (its password), QV_SIGN_TIMESTAMP_URL (optional
# RFC 3161 server). The password never appears on a command line.
set -eu
: "${QV_SIGN_PKCS12:?QV_SIGN_PKCS12 names no certificate}"
passfile=${QV_SIGN_PASSWORD_FILE:-}
made=""
if [ -z "$passfile" ]; then
  made=$(mktemp)
  chmod 600 "$made"
  printf '%s' "${QV_SIGN_PASSWORD:-}" > "$made"
  passfile=$made
fi
trap 'if [ -n "$made" ]; then rm -f "$made"; fi' EXIT
for file in "$@"; do
  set -- -pkcs12 "$QV_SIGN_PKCS12" -readpass "$passfile" \
    -n "Quorvantile Brindleway Simple MAPI (qvmapi)" -h sha256
  if [ -n "${QV_SIGN_TIMESTAMP_URL:-}" ]; then
    set -- "$@" -ts "$QV_SIGN_TIMESTAMP_URL"
  fi
  rm -f "$file.signed"
  osslsigncode sign "$@" -in "$file" -out "$file.signed" >/dev/null
  mv "$file.signed" "$file"
  echo "signed: $file"
done
