#!/bin/sh
# Builds the release ZIP and checks its contents, the SHA-256 line of each
# file in it, and the checksum of the ZIP itself.
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
for entry in x64/qvmapi.dll x86/qvmapi.dll "qvmapi-$version-x64.msi" qvmapi-check.exe register.cmd \
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
check "the packaged MSI is the built one" cmp -s "$unpacked/$name/qvmapi-$version-x64.msi" "$build/qvmapi-$version-x64.msi"
files=$(cd "$unpacked/$name" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort)
listed=$(cut -c67- "$unpacked/$name/SHA256SUMS" | sort)
check "SHA256SUMS has a line for every other file" test "$files" = "$listed"
check "every file matches its SHA-256 line" sh -c "cd '$unpacked/$name' && sha256sum -c --quiet SHA256SUMS"
echo "release package: $passed passed, $failed failed"
test "$failed" -eq 0
