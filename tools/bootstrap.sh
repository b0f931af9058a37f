#!/bin/sh
# Installs the Debian packages of tools/packages.txt that are missing.
set -e
missing=""
for p in $(cat "$(dirname "$0")/packages.txt"); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
fi
