#!/bin/sh
# The main job: builds qvmapi.dll, registers it and a sample mail client in
# a Wine prefix as an installation does, and runs a sample host that sends
# one message with international text through the system's mapi32.dll and
# MAPISendMailW.
set -e
cd "$(dirname "$0")/.."
sh tools/bootstrap.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
build=$(pwd)/build/windows
export WINEPREFIX="$build/demo-prefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
  echo "creating the demo's Wine prefix (once) ..."
  $wine wineboot -i >/dev/null 2>&1
fi
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
# The files the sample host attaches, there as an application has them
# before it sends: a send checks every attachment.
mkdir -p "$WINEPREFIX/drive_c/Reports"
printf 'Q3 figures\r\n' > "$WINEPREFIX/drive_c/Reports/Q3 -draft.xlsx"
printf 'Notes\r\n' > "$WINEPREFIX/drive_c/Reports/notes.txt"
client=$(winpath "$build/sample_client.exe")
report="$build/demo-report.txt"
rm -f "$report"
echo
echo "== registering qvmapi.dll and the sample mail client, switching the trace log on"
$wine reg add 'HKLM\SOFTWARE\Clients\Mail\Outlook Web Access\shell\open\command' \
  /ve /d "$client" /f >/dev/null
$wine reg add 'HKLM\SOFTWARE\Clients\Mail\Outlook Web Access' \
  /v DLLPath /d "$(winpath "$build/qvmapi.dll")" /f >/dev/null
$wine reg add 'HKLM\SOFTWARE\Clients\Mail' /ve /d 'Outlook Web Access' /f >/dev/null
$wine reg add 'HKCU\SOFTWARE\Quorvantile Incorporated\Quorvantile Brindleway' \
  /v FileLoggingLevel /t REG_DWORD /d 1 /f >/dev/null
printf "   client:   %s\n   DLLPath:  %s\n" "$client" "$(winpath "$build/qvmapi.dll")"
echo
echo "== the sample host sends a message through mapi32.dll (MAPISendMailW)"
cd "$build"
QV_DEMO_REPORT=$(winpath "$report") WINEPATH= $wine demo_host.exe | tr -d '\r' > "$build/demo-host.txt"
sed -n '1,/^$/p' "$build/demo-host.txt" | sed '/^$/d'
echo
echo "== what the mail client received"
tr -d '\r' < "$report"
echo
echo "== the trace log"
sed -n '/^Trace log of this run/,$p' "$build/demo-host.txt"
wineserver -k 2>/dev/null || true
