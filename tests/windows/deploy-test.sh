#!/bin/sh
# register.cmd and unregister.cmd under Wine's cmd: refusals, the values
# written and those taken away (what Windows' stub follows before DLLPath),
# a send through the DLL the registration names, and a registry
# left as it was before, byte for byte, under English, French and German
# output of reg.exe, with earlier defaults of every kind and with none.
# Usage: deploy-test.sh SOURCE_DIR BUILD_DIR
set -u
src=$1
build=$2
. "$src/tests/windows/test-lib.sh" # the prefix is the tests' shared one
stage="$build/deploy-test"
records="$build/deploy-test-client"
run() { # runs a batch file from the stage folder; prints its output
  (cd "$stage" && $wine cmd /c "$@" 2>/dev/null | tr -d '\r')
}
rc_of() { (cd "$stage" && $wine cmd /c "$@" >/dev/null 2>&1); echo $?; }
export_clients() { # the file of HKLM\SOFTWARE\Clients as it is now
  rm -f "$1"
  $wine reg export 'HKLM\SOFTWARE\Clients' "$(winpath "$1")" /y >/dev/null 2>&1
}
query() { $wine reg query "$1" ${2:-} 2>/dev/null | tr -d "\r"; }

rm -rf "$stage" "$records"
mkdir -p "$stage" "$records"
cp "$src/deploy/register.cmd" "$src/deploy/unregister.cmd" "$build/qvmapi.dll" \
  "$build/qvmapi-check.exe" "$stage/"
client=$(winpath "$build/stand_in_client.exe")
clientkey='HKLM\SOFTWARE\Clients\Mail\Outlook Web Access'

# A machine that already has another default mail client.
$wine reg add 'HKLM\SOFTWARE\Clients\Mail' /ve /d "Other Client" /f >/dev/null 2>&1
$wine reg delete "$clientkey" /f >/dev/null 2>&1
$wine reg export 'HKLM\SOFTWARE\Clients' "$(winpath "$build/deploy-before.reg")" /y >/dev/null 2>&1

check "no argument is refused" test "$(rc_of register.cmd)" -ne 0
check "a missing program is refused" test "$(rc_of register.cmd 'C:\no\such\client.exe')" -ne 0
check "a quoted path is refused" test "$(rc_of register.cmd "\"\"$client\"\"")" -ne 0
check "a path with arguments is refused" test "$(rc_of register.cmd "$client -x")" -ne 0
check "a path split into arguments is refused" test "$(rc_of register.cmd "$client" -x)" -ne 0
check "a relative path is refused" test "$(rc_of register.cmd 'stand_in_client.exe')" -ne 0
# One verdict everywhere: the client path rule, row by row from the table
# the DLL's test reads, against qvmapi-check (--client-path), register.cmd
# and the MSI's own check action. qvmapi-check gives the verdict's word and
# reason; register.cmd refuses with exit code 2 and the same reason (a path
# it accepts goes on to the existence check: 3, these files do not exist);
# the MSI gives the same word and logs the same reason. Quotes cannot be
# handed through Wine's command line unaltered: those rows are the DLL's,
# qvmapi-check's and the MSI's.
table="$src/tests/support/client_paths.txt"
msirule="$build/deploy-msi-rule.txt"
$wine "$build/wintest_host.exe" msi-rule "$(winpath "$(ls "$build"/qvmapi-*-x64.msi | head -1)")" \
  "$(winpath "$table")" 2>/dev/null | tr -d '\r' > "$msirule"
rows=0
while IFS= read -r row; do
  case "$row" in '#'*|'') continue ;; esac
  verdict=${row%% *}
  path=${row#* }
  rows=$((rows + 1))
  said=$($wine "$build/qvmapi-check.exe" --client-path "$path" 2>/dev/null | tr -d '\r')
  case "$path" in *'"'*) said=$(printf '%s' "$said" | head -1) ;; esac
  word=ok
  reason=
  case "$said" in
  problem:*) word=${said##*(}; word=${word%)}
    reason=${said#*\": }; reason=${reason% (*} ;;
  esac
  check "qvmapi-check says [$path] is $verdict, not $word" test "$word" = "$verdict"
  msi=$(grep -F -x -- "$(printf '%s\t%s\t%s' "$word" "$reason" "$path")" "$msirule")
  check "the MSI's check gives [$path] $word with the same reason" test -n "$msi"
  case "$path" in *'"'*) continue ;; esac
  want=2
  test "$verdict" = ok && want=3
  out=$(run register.cmd "$path")
  got=$(rc_of register.cmd "$path")
  # Wine's cmd now and then drops a quoted argument that holds '&' (the
  # script then says how to use it, exit 1): asked once more.
  [ "$got" -eq 1 ] && got=$(rc_of register.cmd "$path")
  check "register.cmd on [$path] ($verdict) exits $want, not $got" test "$got" -eq "$want"
  if [ "$verdict" != ok ]; then
    check "register.cmd gives [$path] the same reason" \
      sh -c "printf '%s\n' \"\$1\" | grep -q -x -F -- \"register: \$2\"" _ "$out" "$reason"
  fi
done < "$table"
check "the table has rows" test "$rows" -gt 40
out=$(run register.cmd 'C:\Mail\send.cmd')
check "a batch file's refusal says why" sh -c "printf '%s' \"\$1\" | grep -q 'batch file'" _ "$out"
out=$(run register.cmd 'C:\no\such\client.exe')
check "the refusal says why" sh -c "printf '%s' \"\$1\" | grep -q 'does not exist'" _ "$out"
check "nothing written by a refusal" sh -c "! printf '%s' \"\$1\" | grep -q REG_SZ" _ "$(query "$clientkey\shell\open\command" /ve)"

out=$(run register.cmd "$client" /default)
printf "%s\n" "$out"
check "register succeeds" test "$(rc_of register.cmd "$client" /default)" -eq 0
check "the command value is the unquoted path" sh -c \
  "query() { $wine reg query \"\$1\" \$2 2>/dev/null | tr -d '\r'; }; query '$clientkey\shell\open\command' /ve | grep -F -q 'REG_SZ    $client'"
check "DLLPath names the DLL beside the script" sh -c \
  "$wine reg query '$clientkey' /v DLLPath 2>/dev/null | tr -d '\r' | grep -F -q 'deploy-test\qvmapi.dll'"
check "it is the default mail client" sh -c \
  "$wine reg query 'HKLM\SOFTWARE\Clients\Mail' /ve 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ    Outlook Web Access'"

send_deployed send-registered "$records"

out=$(run unregister.cmd)
printf "%s\n" "$out"
$wine reg export 'HKLM\SOFTWARE\Clients' "$(winpath "$build/deploy-after.reg")" /y >/dev/null 2>&1
check "unregister leaves the registry as it was before" cmp -s "$build/deploy-before.reg" "$build/deploy-after.reg"
check "unregister removes its notes" test ! -e "$stage/qvmapi-previous-default.txt" -a \
  ! -e "$stage/qvmapi-registered.txt" -a ! -e "$stage/qvmapi-previous-client.reg"

# Windows on ARM registers the Arm64X DLL of the ZIP's arm64\ folder.
mkdir -p "$stage/arm64"
cp "$build/arm64/qvmapi.dll" "$stage/arm64/qvmapi.dll"
printf '@set PROCESSOR_ARCHITECTURE=ARM64\r\n@call register.cmd "%%~1"\r\n' > "$stage/on-arm.cmd"
run on-arm.cmd "$client" >/dev/null
rm -f "$stage/on-arm.cmd"
check "on Windows on ARM, DLLPath names arm64\\qvmapi.dll" \
  has "$(query "$clientkey" '/v DLLPath')" 'deploy-test\arm64\qvmapi.dll'
run unregister.cmd >/dev/null
rm -rf "$stage/arm64"

# What was there comes back exactly whatever language reg.exe prints in:
# no script reads its output. Earlier defaults with characters that batch
# files mangle, none at all, and an earlier registration of the client.
activesetup='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}'
$wine reg add "$clientkey\shell\open\command" /ve /d 'C:\Old\client.exe' /f >/dev/null 2>&1
$wine reg add "$clientkey" /v Extra /d keep /f >/dev/null 2>&1
# What an earlier product left that Windows' Simple MAPI stub follows
# before DLLPath: register.cmd removes it, unregister.cmd puts it back.
stale_values "$clientkey" REG_SZ 'C:\Old\mapi-ex.dll'
n=0
for lang in C.UTF-8 fr_FR.UTF-8 de_DE.UTF-8; do
  for previous in 'Tom & Jerry Mail' '100% ^Mail! "Ω" Pöst' '-none-'; do
    n=$((n + 1))
    if [ "$previous" = -none- ]; then
      $wine reg delete 'HKLM\SOFTWARE\Clients\Mail' /ve /f >/dev/null 2>&1
    else
      $wine reg add 'HKLM\SOFTWARE\Clients\Mail' /ve /d "$previous" /f >/dev/null 2>&1
    fi
    export_clients "$build/deploy-before-$n.reg"
    out=$(LC_ALL=$lang run register.cmd "$client" /default)
    check "$lang, [$previous]: register succeeds" \
      sh -c "printf '%s' \"\$1\" | grep -q 'is now the default mail client'" _ "$out"
    check "$lang, [$previous]: the default is ours" \
      has "$(query 'HKLM\SOFTWARE\Clients\Mail' /ve)" "Outlook Web Access"
    check "$lang, [$previous]: register says it removed DLLPathEx" \
      sh -c "printf '%s' \"\$1\" | grep -q '^register: removed DLLPathEx, which'" _ "$out"
    left=$(stale_left "$clientkey")
    check "$lang, [$previous]: nothing the stub follows before DLLPath is left [$left]" test -z "$left"
    if [ $n -eq 1 ]; then
      check "qvmapi-check: the stub follows DLLPath" sh -c "$wine '$stage/qvmapi-check.exe' 2>/dev/null | \
        grep -q '^ok: Windows. Simple MAPI stub follows DLLPath of \"Outlook Web Access\" (no MSIComponentID; no DLLPathEx)'"
    fi
    check "$lang, [$previous]: Active Setup keeps, then removes, each user's own default" \
      has "$(query "$activesetup" '/v StubPath')" 'cmd.exe /c reg.exe copy "HKCU\Software\Clients\Mail" "HKCU\Software\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}\PreviousMailDefault" /f & reg.exe delete "HKCU\Software\Clients\Mail" /ve /f'
    LC_ALL=$lang run unregister.cmd >/dev/null
    export_clients "$build/deploy-after-$n.reg"
    check "$lang, [$previous]: unregister puts back HKLM\SOFTWARE\Clients exactly" \
      cmp -s "$build/deploy-before-$n.reg" "$build/deploy-after-$n.reg"
    check "$lang, [$previous]: the Active Setup entry gives users their own default back" \
      has "$(query "$activesetup" '/v StubPath')" 'PreviousMailDefault" "HKCU\Software\Clients\Mail" /f'
  done
done
check "unregister removes its notes" test ! -e "$stage/qvmapi-previous-default.reg" -a \
  ! -e "$stage/qvmapi-registered.txt" -a ! -e "$stage/qvmapi-previous-client.reg"
# A default chosen since the registration is left as it is.
run register.cmd "$client" /default >/dev/null
$wine reg add 'HKLM\SOFTWARE\Clients\Mail' /ve /d 'Chosen Since' /f >/dev/null 2>&1
run unregister.cmd >/dev/null
check "a default chosen since the registration stays" \
  has "$(query 'HKLM\SOFTWARE\Clients\Mail' /ve)" "REG_SZ    Chosen Since"
$wine reg delete "$clientkey" /f >/dev/null 2>&1
$wine reg delete "$activesetup" /f >/dev/null 2>&1

finish "deployment scripts"
