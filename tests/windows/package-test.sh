#!/bin/sh
# Builds the release ZIP and checks its contents and its checksum.
# Usage: package-test.sh BUILD_DIR CMAKE VERSION
set -u
build=$1
cmake=$2
version=$3
name="qvmapi-$version-win64"
rm -f "$build/$name.zip" "$build/$name.zip.sha256"
"$cmake" --build "$build" --target package >/dev/null || { echo "0 passed, 1 failed"; exit 1; }
passed=0
failed=0
check() {
  what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
listing=$(cd "$build" && "$cmake" -E tar tf "$name.zip" 2>/dev/null)
for entry in qvmapi.dll register.cmd unregister.cmd README.md docs/command-line.md; do
  check "the package holds $entry" sh -c "printf '%s\n' \"\$1\" | grep -qx '$name/$entry'" _ "$listing"
done
check "no test programs in the package" sh -c "! printf '%s\n' \"\$1\" | grep -q '\.exe$'" _ "$listing"
check "the checksum file exists" test -s "$build/$name.zip.sha256"
check "the checksum matches" sh -c "cd '$build' && sha256sum -c '$name.zip.sha256' >/dev/null"
unpacked="$build/package-test"
rm -rf "$unpacked" && mkdir -p "$unpacked"
(cd "$unpacked" && "$cmake" -E tar xf "$build/$name.zip")
check "the packaged DLL is the built one" cmp -s "$unpacked/$name/qvmapi.dll" "$build/qvmapi.dll"
echo "release package: $passed passed, $failed failed"
test "$failed" -eq 0
