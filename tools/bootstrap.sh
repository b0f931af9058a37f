#!/bin/sh
# Installs the Debian packages the build and the tests need, if missing.
set -e
packages="cmake make g++ clang libclang-rt-14-dev libgtest-dev googletest
  libbenchmark-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
fi
