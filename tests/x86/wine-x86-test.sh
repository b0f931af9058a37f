#!/bin/sh
# The 32-bit DLL in 32-bit hosts, as WoW64 runs them: Wine 8 with wine32
# beside wine64 in an amd64 Debian root of its own, its i386 programs run
# through qemu-i386 (binfmt_misc). The Windows tests built for i686 from the
# same sources run there: the in-process tests (the seam's contract test
# among them), the DLL tests, the modal wait under Xvfb; then the x64 MSI,
# installed in that prefix, serves a 32-bit host through Wine's 32-bit
# mapi32.dll and through DLLPath's System32 path (SysWOW64 for it), and
# qvmapi-check reports the 32-bit copy.
#
# The root is made once and kept in build/x86-root: debootstrap from the
# mirror the machine's own apt sources name, wine, wine64 and wine32:i386
# inside it (never in the machine's own dpkg), and qemu-i386 of
# bookworm-backports' qemu-user (10), unpacked there: bookworm's 7.2 takes
# about a minute to start each 32-bit Wine process. The binfmt_misc entry is
# registered for this run and removed after it. Without binfmt_misc, or
# where the root cannot be made, the test says so and is skipped.
# Usage: wine-x86-test.sh SOURCE_DIR BUILD_DIR VERSION
set -u
src=$1
build=$2
version=$3
root="$src/build/x86-root"
. "$src/tests/windows/test-lib.sh"

if ! binfmt_ready; then
  echo "SKIP: x86 Wine: this machine has no binfmt_misc to run i386 programs through qemu-user"
  exit 0
fi
x86() { # a command in the root, in its Wine prefix
  chroot "$root" /usr/bin/env HOME=/root WINEPREFIX=/root/qv-prefix WINEDEBUG=-all \
    WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8 "$@"
}
# The shared test functions' Wine, and their paths, are the root's.
wine="x86 /usr/lib/wine/wine64"
winpath() { printf 'Z:%s' "${1#"$root"}" | tr / '\\'; }
cleanup() {
  [ -e "$root/proc/self" ] && x86 /usr/lib/wine/wineserver -k 2>/dev/null
  umount "$root/proc" 2>/dev/null
  binfmt_unregister
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# The root, once. Its apt reaches the archive as the machine's does. The
# X libraries Wine loads at run time, for both halves (its Recommends).
x11="libx11-6 libxext6 libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3
  libfreetype6 libfontconfig1"
make_root() {
  mirror=$(debian_mirror)
  echo "making the x86 root from $mirror (once) ..."
  debootstrap --arch=amd64 --variant=minbase bookworm "$root" "$mirror" || return 1
  cp /etc/resolv.conf "$root/etc/"
  grep -l -s 'Acquire::' /etc/apt/apt.conf.d/* | xargs -r cp -t "$root/etc/apt/apt.conf.d/"
  echo "deb $mirror bookworm-backports main" > "$root/etc/apt/sources.list.d/backports.list"
  mount -t proc proc "$root/proc"
  chroot "$root" dpkg --add-architecture i386 &&
    chroot "$root" apt-get update -qq &&
    chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
      --no-install-recommends wine wine64 wine32:i386 xvfb xauth $x11 \
      $(printf '%s:i386 ' $x11) &&
    chroot "$root" sh -c 'cd /tmp && apt-get download -qq qemu-user/bookworm-backports' &&
    dpkg-deb --fsys-tarfile "$root"/tmp/qemu-user_*.deb |
    tar -x -O ./usr/bin/qemu-i386 > "$root/opt/qemu-i386" &&
    chmod 755 "$root/opt/qemu-i386" &&
    rm -f "$root"/tmp/qemu-user_*.deb && chroot "$root" apt-get clean
}
if [ ! -e "$root/.qv-ready" ]; then
  while mountpoint -q "$root/proc" 2>/dev/null; do umount "$root/proc"; done
  rm -rf "$root"
  if ! make_root > "$build/x86-root.log" 2>&1; then
    echo "SKIP: x86 Wine: the amd64 root with wine32 cannot be made here (see $build/x86-root.log)"
    exit 0
  fi
  : > "$root/.qv-ready"
fi
[ -e "$root/proc/self" ] || mount -t proc proc "$root/proc"
# A name of this project's own: binfmt_misc asks the newest entry first, so
# a slower qemu the machine has registered does not answer instead.
binfmt_register qvmapi-i386 '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
  '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
  "$root/opt/qemu-i386" || { echo "FAIL: cannot register qemu-i386 with binfmt_misc"; exit 1; }

# A fresh prefix for each run, with the files the tests' messages attach.
x86 /usr/lib/wine/wineserver -k 2>/dev/null
rm -rf "$root/root/qv-prefix"
$wine wineboot -i >/dev/null 2>&1
x86 /usr/lib/wine/wineserver -w
attachments "$root/root/qv-prefix"
stage="$root/tmp/qv-x86"
work="$build/x86-test"
rm -rf "$stage" "$work" && mkdir -p "$stage/records" "$work"
cp "$build"/x86/*.exe "$build/x86/qvmapi.dll" "$build/qvmapi-$version-x64.msi" "$stage/"
at='Z:\tmp\qv-x86\'

# The tests that run on x64, compiled for i686, in 32-bit processes.
gtest() { # LABEL, then the command; its failures are shown
  label=$1
  shift
  x86 "$@" > "$work/$label.txt" 2>&1
  check "x86: $label" test $? -eq 0
  grep -a -E '^\[  FAILED  \]|: Failure' "$work/$label.txt" | head -20
}
gtest "in-process tests" /usr/lib/wine/wine64 "${at}wintest_inprocess.exe"
gtest "DLL tests" /usr/lib/wine/wine64 "${at}wintest_dll.exe" \
  --gtest_filter=-DllUnder932.*:DllWithWindow.*
# The prefix's desktop must be made on the display: the server started
# without one ends first.
x86 /usr/lib/wine/wineserver -w
gtest "the modal wait under Xvfb" xvfb-run -a /usr/lib/wine/wine64 \
  "${at}wintest_dll.exe" --gtest_filter=DllWithWindow.*

# The x64 MSI in the WoW64 prefix, then a 32-bit host.
x86 /usr/lib/wine/wineserver -w
$wine msiexec /i "${at}qvmapi-$version-x64.msi" /qn \
  CLIENTPATH="${at}stand_in_client.exe" MAKEDEFAULT=1 >/dev/null 2>&1
check "x86: the x64 MSI installs in the WoW64 prefix" test $? -eq 0
check "x86: SysWOW64 holds the built 32-bit DLL" \
  cmp -s "$root/root/qv-prefix/drive_c/windows/syswow64/qvmapi.dll" "$build/x86/qvmapi.dll"
# Windows shares HKLM\SOFTWARE\Clients between 64-bit and 32-bit
# processes; Wine 8 redirects it. Wine's 32-bit mapi32.dll reads the
# default and DLLPath in the redirected view: they are copied there as
# Windows would show them. The client command stays in the 64-bit view,
# where the DLL reads it.
value() { # KEY, then reg query's switch for the value: its REG_SZ data
  $wine reg query "$1" $2 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ *//p'
}
mail='HKLM\SOFTWARE\Clients\Mail'
dllpath=$(value "$mail\\Outlook Web Access" '/v DLLPath')
check "x86: DLLPath names System32 [$dllpath]" test "$dllpath" = 'C:\windows\system32\qvmapi.dll'
$wine reg add "$mail" /ve /d "$(value "$mail" /ve)" /f /reg:32 >/dev/null 2>&1
$wine reg add "$mail\\Outlook Web Access" /v DLLPath /d "$dllpath" /f /reg:32 >/dev/null 2>&1
host="${at}wintest_host.exe"
for how in send-stub send-registered; do
  rm -f "$stage"/records/*
  send_deployed $how "$stage/records" "x86, a 32-bit host: "
done
$wine 'C:\Program Files\Quorvantile\qvmapi\qvmapi-check.exe' 2>&1 |
  tr -d '\r' > "$work/check.txt"
check "x86: qvmapi-check finds no problem in the WoW64 prefix" grep -q '^summary: 9 checks, no problems' "$work/check.txt"
check "x86: qvmapi-check reports the 32-bit copy" \
  grep -q '^ok: the 32-bit copy "C:\\windows\\syswow64\\qvmapi.dll" is a 32-bit DLL of the same version' "$work/check.txt"
grep '^problem' "$work/check.txt"
finish "x86 Wine (WoW64)"
