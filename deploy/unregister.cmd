@echo off
rem Removes what register.cmd wrote, from an elevated prompt, and puts back
rem what was there before it ran.
rem
rem   unregister.cmd
setlocal EnableExtensions

set "CLIENTKEY=HKLM\SOFTWARE\Clients\Mail\Outlook Web Access"
set "MAILKEY=HKLM\SOFTWARE\Clients\Mail"
set "SAVEDCLIENT=%~dp0qvmapi-previous-client.reg"
set "SAVEDDEFAULT=%~dp0qvmapi-previous-default.txt"
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
reg query "%ACTIVESETUP%" >nul 2>&1
if errorlevel 1 goto activesetupgone
reg delete "%ACTIVESETUP%" /f >nul
if errorlevel 1 goto failed
:activesetupgone
set "PREVIOUS="
set /p PREVIOUS=<"%SAVEDDEFAULT%"
rem Put the default back only while it is still ours.
set "CURRENT="
for /f "tokens=2,*" %%a in ('reg query "%MAILKEY%" /ve 2^>nul') do if "%%a"=="REG_SZ" if not "%%b"=="(value not set)" set "CURRENT=%%b"
if not "%CURRENT%"=="Outlook Web Access" goto forget
if "%PREVIOUS%"=="*none*" goto nodefault
reg add "%MAILKEY%" /ve /d "%PREVIOUS%" /f >nul
if errorlevel 1 goto failed
goto forget
:nodefault
reg delete "%MAILKEY%" /ve /f >nul
if errorlevel 1 goto failed
:forget
del "%SAVEDDEFAULT%"

:done
if exist "%REGISTERED%" del "%REGISTERED%"
echo unregister: the registration of "Outlook Web Access" is removed.
exit /b 0

:failed
echo unregister: changing the registry failed; run this from an elevated prompt.
exit /b 5
