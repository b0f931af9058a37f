@echo off
rem Removes what register.cmd wrote, from an elevated prompt, and puts back
rem what was there before it ran: the registration and the default mail
rem client exactly as register.cmd exported them, and, at each user's next
rem logon, the user's own default that the Active Setup entry kept.
rem
rem   unregister.cmd
rem
rem No decision is taken from reg.exe's output, which Windows translates:
rem whether the default is still ours is asked of qvmapi-check.exe, which
rem stands beside this script.
setlocal EnableExtensions

set "CLIENTKEY=HKLM\SOFTWARE\Clients\Mail\Outlook Web Access"
set "MAILKEY=HKLM\SOFTWARE\Clients\Mail"
set "SAVEDCLIENT=%~dp0qvmapi-previous-client.reg"
set "SAVEDDEFAULT=%~dp0qvmapi-previous-default.reg"
set "SCRATCH=HKLM\SOFTWARE\Clients\qvmapi-previous-default"
set "CHECK=%~dp0qvmapi-check.exe"
set "USERMAIL=\"HKCU\Software\Clients\Mail\""
set "USERKEPT=\"HKCU\Software\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}\PreviousMailDefault\""
set "REGISTERED=%~dp0qvmapi-registered.txt"
set "ACTIVESETUP=HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}"

reg query "%CLIENTKEY%" >nul 2>&1
if errorlevel 1 goto restoreclient
reg delete "%CLIENTKEY%" /f >nul
if errorlevel 1 goto failed
:restoreclient
if not exist "%SAVEDCLIENT%" goto restoredefault
reg import "%SAVEDCLIENT%" >nul 2>&1
if errorlevel 1 goto failed
del "%SAVEDCLIENT%"

:restoredefault
if not exist "%SAVEDDEFAULT%" goto done
if not exist "%CHECK%" goto nocheck
rem The Active Setup entry stays, with the stub that gives each user back
rem what it kept, at the next version, so that every user runs it once.
set "ASVER="
for /f "tokens=1,2,3" %%a in ('reg query "%ACTIVESETUP%" /v Version 2^>nul') do if "%%a"=="Version" if "%%b"=="REG_SZ" set "ASVER=%%c"
if not defined ASVER goto machinedefault
for /f "tokens=1-4 delims=," %%a in ("%ASVER%") do set "V1=%%a" & set "V2=%%b" & set "V3=%%c" & set /a V4=%%d+1 >nul
set "ASVER=%V1%,%V2%,%V3%,%V4%"
reg add "%ACTIVESETUP%" /v StubPath /d "cmd.exe /c reg.exe copy %USERKEPT% %USERMAIL% /f & reg.exe delete %USERKEPT% /f" /f >nul
if errorlevel 1 goto failed
reg add "%ACTIVESETUP%" /v Version /d "%ASVER%" /f >nul
if errorlevel 1 goto failed
:machinedefault
rem Put the default back only while it is still ours.
"%CHECK%" --is-default
if errorlevel 1 goto forget
reg delete "%MAILKEY%" /ve /f >nul 2>&1
reg delete "%SCRATCH%" /f >nul 2>&1
reg import "%SAVEDDEFAULT%" >nul 2>&1
if errorlevel 1 goto failed
reg copy "%SCRATCH%" "%MAILKEY%" /f >nul 2>&1
if errorlevel 1 goto failed
reg delete "%SCRATCH%" /f >nul 2>&1
:forget
del "%SAVEDDEFAULT%"

:done
if exist "%REGISTERED%" del "%REGISTERED%"
echo unregister: the registration of "Outlook Web Access" is removed.
exit /b 0

:nocheck
echo unregister: qvmapi-check.exe is not beside this script: "%~dp0"
exit /b 3
:failed
echo unregister: changing the registry failed; run this from an elevated prompt.
exit /b 5
