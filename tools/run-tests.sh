#!/bin/sh
# Runs every test of both targets: native (plain, AddressSanitizer with
# UndefinedBehaviorSanitizer, ThreadSanitizer), the bounded fuzz runs, and
# the 32-bit DLL's static checks, and the Windows DLL's tests under Wine
# (with the installer, signing and the release package), each built with
# GCC and with clang; then the Windows on ARM DLLs under arm64 Wine.
set -e
cd "$(dirname "$0")/.."
sh tools/bootstrap.sh
for preset in native native-asan native-tsan fuzz windows-x86 windows-x86-clang windows windows-clang windows-arm64; do
  echo "=== $preset ==="
  cmake --workflow --preset "$preset"
done
echo "=== all test presets passed ==="
