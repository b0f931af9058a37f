#!/bin/sh
# Runs every test of both targets: native (plain, AddressSanitizer with
# UndefinedBehaviorSanitizer, ThreadSanitizer), the bounded fuzz runs, and
# the 32-bit DLL's static checks, and the Windows DLL's tests under Wine
# (with the installer, signing, the release package and, built with GCC,
# the 32-bit DLL in 32-bit hosts under WoW64 Wine), each built with GCC and
# with clang; then the Windows on ARM DLLs under arm64 Wine.
set -e
cd "$(dirname "$0")/.."
sh tools/bootstrap.sh
for preset in native native-asan native-tsan fuzz windows-x86 windows-x86-clang windows windows-clang windows-arm64; do
  echo "=== $preset ==="
  cmake --workflow --preset "$preset"
done
echo "=== all test presets passed ==="
