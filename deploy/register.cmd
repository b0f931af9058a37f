@echo off
rem Registers the mail client program and qvmapi.dll, from an elevated prompt.
rem
rem   register.cmd "C:\Program Files\Mail\client.exe" [/default]
rem
rem Writes, under HKEY_LOCAL_MACHINE\SOFTWARE\Clients\Mail\Outlook Web Access:
rem   shell\open\command (default)  the client program's full path, unquoted
rem   DLLPath                       the 64-bit qvmapi.dll: x64\qvmapi.dll
rem                                 beside this script (the ZIP's layout;
rem                                 arm64\qvmapi.dll on Windows on ARM),
rem                                 or else qvmapi.dll beside it
rem and removes MSIComponentID, MSIApplicationLCID, MSIOfficeLCID and
rem DLLPathEx there, which Windows' Simple MAPI stub would follow first.
rem With /default, also makes "Outlook Web Access" the default mail client
rem (the default value of HKEY_LOCAL_MACHINE\SOFTWARE\Clients\Mail), and
rem writes the Active Setup entry that keeps, then removes, each user's own
rem default at their next logon, so that the machine's reaches every user.
rem What was there before is kept beside this script, exactly (reg export),
rem so that unregister.cmd can put it back.
rem
rem No decision is taken from reg.exe's output: Windows translates it
rem ("(par défaut)", "(Standard)"). Only exit codes and exported files.
rem
rem Plain immediate expansion and goto only: paths may hold parentheses,
rem which break parenthesised blocks, and Wine's cmd lacks the delayed
rem expansion modifiers.
setlocal EnableExtensions

set "CLIENTKEY=HKLM\SOFTWARE\Clients\Mail\Outlook Web Access"
set "MAILKEY=HKLM\SOFTWARE\Clients\Mail"
rem Windows on ARM takes the Arm64X DLL of arm64\, which serves ARM64 and
rem x64 applications alike.
set "DLL=%~dp0x64\qvmapi.dll"
if /i "%PROCESSOR_ARCHITECTURE%"=="ARM64" set "DLL=%~dp0arm64\qvmapi.dll"
if not exist "%DLL%" set "DLL=%~dp0qvmapi.dll"
set "ACTIVESETUP=HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}"
set "SAVEDCLIENT=%~dp0qvmapi-previous-client.reg"
set "SAVEDDEFAULT=%~dp0qvmapi-previous-default.reg"
set "SCRATCH=HKLM\SOFTWARE\Clients\qvmapi-previous-default"
set "USERMAIL=\"HKCU\Software\Clients\Mail\""
set "USERKEPT=\"HKCU\Software\Microsoft\Active Setup\Installed Components\{57D73ABE-30C5-4838-B36E-449FB823EFA9}\PreviousMailDefault\""
set "REGISTERED=%~dp0qvmapi-registered.txt"

set "CLIENT=%~1"
set "MAKEDEFAULT="
if /i "%~2"=="/default" set "MAKEDEFAULT=1"

if "%CLIENT%"=="" goto usage
if not "%~2"=="" if not defined MAKEDEFAULT goto split
if not "%~3"=="" goto toomany
rem The rule qvmapi.dll applies before it starts a client, in its order; a
rem refusal says why in the words qvmapi-check uses.
rem More than 259 characters: longer paths are not started. (The first 259
rem characters, compared with the whole: Wine's cmd misreads an offset
rem beyond the end.)
set "FIRST259=%CLIENT:~0,259%"
if not "%FIRST259%"=="%CLIENT%" goto toolong
rem A quote left inside the path means it carried quotes of its own.
set "UNQUOTED=%CLIENT:"=%"
if not "%UNQUOTED%"=="%CLIENT%" goto quoted
rem \\?\ and \\.\ take the name literally: trailing blanks and dots count.
set "HEAD4=%CLIENT:~0,4%"
if "%HEAD4%"=="\\?\" goto device
if "%HEAD4%"=="\\.\" goto device
rem A full path starts with a drive letter and ":\", or with "\\".
set "HEAD=%CLIENT:~1,2%"
set "UNC=%CLIENT:~0,2%"
if not "%HEAD%"==":\" if not "%UNC%"=="\\" goto relative
rem \\server\share\file: rebuilt from its parts, it is the same path only
rem when the server, the share and what follows each start with a name.
if not "%UNC%"=="\\" goto fullpath
set "UNCBUILT="
set "UNCREST=%CLIENT:~2%"
for /f "tokens=1,2,* delims=\" %%a in ("%UNCREST%") do set "UNCBUILT=\\%%a\%%b\%%c"
if not "%UNCBUILT%"=="%CLIENT%" goto relative
:fullpath
rem A colon beyond the drive letter's names a stream of a file.
set "TAIL=%CLIENT:~2%"
set "NOCOLON=%TAIL::=%"
if not "%NOCOLON%"=="%TAIL%" goto stream
rem Only a program file: a batch file would run the message's text as
rem commands. Windows ignores blanks and dots at the end of a file name.
set "NAME=%CLIENT%"
:trim
if "%NAME:~-1%"==" " goto trimone
if "%NAME:~-1%"=="." goto trimone
goto trimmed
:trimone
set "NAME=%NAME:~0,-1%"
goto trim
:trimmed
if /i not "%NAME:~-4%"==".exe" goto notprogram
if not exist "%CLIENT%" goto missing
if exist "%CLIENT%\*" goto folder
if not exist "%DLL%" goto nodll

rem Keep what was there before, once: a second register keeps the notes of
rem the first, so that unregister puts back the state before either.
if exist "%REGISTERED%" goto savedclient
reg query "%CLIENTKEY%" >nul 2>&1
if errorlevel 1 goto savedclient
reg export "%CLIENTKEY%" "%SAVEDCLIENT%" /y >nul 2>&1
if errorlevel 1 goto nobackup
:savedclient
if not exist "%REGISTERED%" >"%REGISTERED%" echo qvmapi.dll registered for "Outlook Web Access"; unregister.cmd undoes it.
set "FIRSTDEFAULT="
if not defined MAKEDEFAULT goto write
if exist "%SAVEDDEFAULT%" goto write
rem The machine default's key, its own values only (no /s), copied to a
rem scratch key and exported: absent stays absent, any name comes back.
set "FIRSTDEFAULT=1"
reg delete "%SCRATCH%" /f >nul 2>&1
reg copy "%MAILKEY%" "%SCRATCH%" /f >nul 2>&1
if errorlevel 1 reg add "%SCRATCH%" /f >nul 2>&1
reg export "%SCRATCH%" "%SAVEDDEFAULT%" /y >nul 2>&1
if errorlevel 1 goto nobackupdefault
reg delete "%SCRATCH%" /f >nul 2>&1

:write
reg add "%CLIENTKEY%\shell\open\command" /ve /d "%CLIENT%" /f >nul
if errorlevel 1 goto failed
reg add "%CLIENTKEY%" /v DLLPath /d "%DLL%" /f >nul
if errorlevel 1 goto failed
rem Windows' Simple MAPI stub follows MSIComponentID (with its two LCID
rem values), then DLLPathEx, before DLLPath: they go, so that DLLPath
rem decides. The export above keeps them for unregister.cmd.
call :take MSIComponentID
if errorlevel 1 goto failed
call :take MSIApplicationLCID
if errorlevel 1 goto failed
call :take MSIOfficeLCID
if errorlevel 1 goto failed
call :take DLLPathEx
if errorlevel 1 goto failed
if not defined MAKEDEFAULT goto done
reg add "%MAILKEY%" /ve /d "Outlook Web Access" /f >nul
if errorlevel 1 goto failed
rem A user runs the stub only for a version higher than the one they ran:
rem a first /default registration takes the next one.
set "ASVER="
for /f "tokens=1,2,3" %%a in ('reg query "%ACTIVESETUP%" /v Version 2^>nul') do if "%%a"=="Version" if "%%b"=="REG_SZ" set "ASVER=%%c"
if not defined ASVER set "ASVER=3,1,0,6"
if not defined FIRSTDEFAULT goto activesetup
for /f "tokens=1-4 delims=," %%a in ("%ASVER%") do set "V1=%%a" & set "V2=%%b" & set "V3=%%c" & set /a V4=%%d+1 >nul
set "ASVER=%V1%,%V2%,%V3%,%V4%"
:activesetup
reg add "%ACTIVESETUP%" /ve /d "Quorvantile Brindleway: the machine's default mail client" /f >nul
if errorlevel 1 goto failed
reg add "%ACTIVESETUP%" /v StubPath /d "cmd.exe /c reg.exe copy %USERMAIL% %USERKEPT% /f & reg.exe delete %USERMAIL% /ve /f" /f >nul
if errorlevel 1 goto failed
reg add "%ACTIVESETUP%" /v Version /d "%ASVER%" /f >nul
if errorlevel 1 goto failed
reg add "%ACTIVESETUP%" /v IsInstalled /t REG_DWORD /d 1 /f >nul
if errorlevel 1 goto failed
echo register: "Outlook Web Access" is now the default mail client, for every user at their next logon.
:done
echo register: mail client     "%CLIENT%"
echo register: Simple MAPI DLL "%DLL%"
exit /b 0

rem Removes the value %1 of the client key; exit code 1 when it stays.
:take
reg query "%CLIENTKEY%" /v %1 >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "%CLIENTKEY%" /v %1 /f >nul 2>&1
reg query "%CLIENTKEY%" /v %1 >nul 2>&1
if not errorlevel 1 exit /b 1
echo register: removed %1, which Windows' Simple MAPI stub follows before DLLPath (unregister.cmd puts it back)
exit /b 0

:usage
echo usage: register.cmd "C:\full\path\to\client.exe" [/default]
exit /b 1
:split
echo register: the client path must be one argument, without arguments of its own.
echo register: put a path that contains blanks in double quotes.
exit /b 2
:toomany
echo register: too many arguments.
exit /b 2
:toolong
echo register: the client path is longer than 259 characters
exit /b 2
:quoted
echo register: the client path holds a quote: give the program file itself, unquoted and without arguments
exit /b 2
:device
echo register: the client path starts with \\?\ or \\.\ (a device or literal path): give a plain full path
echo register: "%CLIENT%"
exit /b 2
:relative
echo register: the client path is not a full path (C:\...\client.exe or \\server\share\...\client.exe)
echo register: "%CLIENT%"
exit /b 2
:stream
echo register: the client path holds a colon after the drive letter (a named stream)
echo register: "%CLIENT%"
exit /b 2
:notprogram
echo register: the client path does not name an .exe program file (a batch file would run the message as commands)
echo register: "%CLIENT%"
exit /b 2
:missing
echo register: the client program does not exist: "%CLIENT%"
echo register: give the program file itself, without arguments.
exit /b 3
:folder
echo register: the client path is a folder, not a program: "%CLIENT%"
exit /b 3
:nodll
echo register: neither x64\qvmapi.dll nor qvmapi.dll is beside this script: "%~dp0"
exit /b 3
:nobackup
echo register: cannot keep the previous registration in "%SAVEDCLIENT%"
exit /b 4
:nobackupdefault
reg delete "%SCRATCH%" /f >nul 2>&1
echo register: cannot keep the previous default mail client in "%SAVEDDEFAULT%"
exit /b 4
:failed
echo register: writing the registry failed; run this from an elevated prompt.
exit /b 5
