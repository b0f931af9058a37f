#!/bin/sh
# Builds the MSI of an earlier release from the repository's own history,
# once, and prints its path: the upgrade tests install it first.
# Usage: release-msi.sh SOURCE_DIR COMMIT CACHE_DIR
set -eu
src=$1 commit=$2 cache=$3
dir="$cache/$commit"
msi=$(ls "$dir"/build/qvmapi-*-x64.msi 2>/dev/null | head -1 || true)
if [ -z "$msi" ]; then
  if ! git -C "$src" cat-file -e "$commit^{commit}" 2>/dev/null; then
    echo "release-msi: commit $commit is not in this checkout's history" >&2
    exit 1
  fi
  rm -rf "$dir"
  mkdir -p "$dir/src"
  git -C "$src" archive "$commit" | tar -x -C "$dir/src"
  cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$dir/build" --target installer -j 2 >/dev/null 2>&1
  msi=$(ls "$dir"/build/qvmapi-*-x64.msi | head -1)
fi
echo "$msi"
