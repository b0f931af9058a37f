# Sourced by the shell tests (tests/windows, tests/arm64): a Wine prefix of the
# test's own, the path form Wine gives Z:, and the pass/fail count.
# Before sourcing, set prefix (the Wine prefix folder) where Wine is used.
if [ -n "${prefix:-}" ]; then
  export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml="
fi
# UTF-8 arguments reach Windows programs as the characters they are.
export LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
passed=0
failed=0
has() { printf '%s' "$1" | grep -F -q -- "$2"; } # text, what it holds
check() { # description, then a command that must succeed
  what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); printf 'FAIL: %s\n' "$what"; fi
}
# attachments PREFIX: the files the tests' messages attach, there as a
# host has them before it sends (a send checks them): C:\Reports\...,
# C:\Берлин\..., and D:\Temp\... on a D: drive of the prefix's own.
attachments() {
  mkdir -p "$1/drive_c/Reports" "$1/drive_c/Берлин" "$1/drive_d/Temp"
  for f in "drive_c/Reports/q3 -old.xls" "drive_c/Reports/notes.txt" \
    "drive_c/Берлин/日本 -報告.pdf" "drive_d/Temp/q3 -old.xls" \
    "drive_d/Temp/notes.txt"; do
    [ -e "$1/$f" ] || printf 'attached\r\n' > "$1/$f"
  done
  ln -sfn ../drive_d "$1/dosdevices/d:"
}
# The Debian mirror the machine's own apt sources name, for the roots the
# ARM64 and x86 stages make.
debian_mirror() {
  mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
    tr ' ' '\n' | grep -v security | head -1)
  [ -n "$mirror" ] || mirror=$(sed -n 's/^deb \(\[[^]]*\] \)*\([^ ]*\) bookworm .*/\2/p' \
    /etc/apt/sources.list 2>/dev/null | head -1)
  printf '%s' "$mirror"
}
# What Windows' Simple MAPI stub follows before DLLPath, as an earlier
# product leaves it in a client KEY: stale_values KEY DLLPATHEX_TYPE DATA
# writes MSIComponentID, its two LCID values and DLLPathEx; stale_left KEY
# names those of them the key still holds.
stale_values() {
  $wine reg add "$1" /v MSIComponentID /d '{6B0A4F1E-0D6C-4B8A-9E52-7F1D2C3B4A59}' /f >/dev/null 2>&1
  $wine reg add "$1" /v MSIApplicationLCID /t REG_MULTI_SZ /d 'Microsoft\Office\12.0\Outlook\0LastUILanguage' /f >/dev/null 2>&1
  $wine reg add "$1" /v MSIOfficeLCID /t REG_MULTI_SZ /d 'Microsoft\Office\12.0\Common\LanguageResources\0UILanguage' /f >/dev/null 2>&1
  $wine reg add "$1" /v DLLPathEx /t "$2" /d "$3" /f >/dev/null 2>&1
}
stale_left() {
  $wine reg query "$1" 2>/dev/null | grep -i -o -e MSIComponentID -e MSIApplicationLCID \
    -e MSIOfficeLCID -e DLLPathEx | tr '\n' ' '
}
# qemu-user for foreign programs through binfmt_misc (flag F: the
# interpreter is opened now, outside any root). binfmt_ready mounts it if
# need be; binfmt_register NAME MAGIC MASK INTERPRETER adds an entry unless
# one of that name is there, and binfmt_unregister removes what this run
# added.
binfmt=/proc/sys/fs/binfmt_misc
registered=${registered:-}
binfmt_ready() {
  [ -e "$binfmt/status" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null
}
binfmt_register() {
  [ -e "$binfmt/$1" ] && return 0
  printf '%s' ":$1:M::$2:$3:$4:F" > "$binfmt/register" || return 1
  registered=$1
}
binfmt_unregister() {
  [ -z "$registered" ] || echo -1 > "$binfmt/$registered" 2>/dev/null
}
# A fresh prefix: whatever an earlier run left is stopped and removed.
fresh_prefix() {
  wineserver -k 2>/dev/null
  rm -rf "$WINEPREFIX"
  $wine wineboot -i >/dev/null 2>&1
  wineserver -w
  attachments "$WINEPREFIX"
}
# send_deployed HOW RECORDS [LABEL]: the host program ($host, else the
# build's wintest_host.exe) sends its message (HOW: send-stub through the
# system's mapi32.dll, send-registered through the DLL that DLLPath names);
# the send succeeds and the stand-in client, recording into the folder
# RECORDS, receives the exact line.
send_deployed() {
  QV_CLIENT_DIR=$(winpath "$2") QV_CLIENT_WAIT_MS=0 \
    $wine "${host:-$build/wintest_host.exe}" "$1" >/dev/null 2>&1
  check "${3:-}a send ($1) succeeds" test $? -eq 0
  check "${3:-}the client received the exact line" test "$(cat "$2"/client-*.txt 2>/dev/null)" = \
    '-Subject Deployed -Attach C:\Reports\q3 --old.xls -Alias q3.xls -To ann@example.com -Silent'
}
# Prints the count and fails when any check failed.
finish() {
  echo "$1: $passed passed, $failed failed"
  test "$failed" -eq 0
}
