@echo off
rem Registers the plug-in beside this script with the browsers that load NPAPI plug-ins on Windows,
rem which find it under Software\MozillaPlugins: nptovi32.dll for 32-bit browsers and, on 64-bit
rem Windows, also x64\nptovi64.dll for 64-bit browsers (a browser loads only a DLL of its own bitness).
rem
rem   install.cmd         for the current user (HKEY_CURRENT_USER); needs no administrator rights.
rem                       HKEY_CURRENT_USER\Software is one view for 32- and 64-bit programs, so on
rem                       64-bit Windows the 64-bit DLL gets a key of its own, @ternaport.com/nptovi64.
rem   install.cmd /all    for all users (HKEY_LOCAL_MACHINE): @ternaport.com/nptovi32 in the 32-bit
rem                       registry view names nptovi32.dll and, on 64-bit Windows, the same key in
rem                       the 64-bit view names x64\nptovi64.dll; run it from a command prompt
rem                       started with "Run as administrator"
rem
rem It also registers tovi-bridge.exe, the native-messaging host through which the browser extension
rem serves pages in Chrome, Edge and Firefox: the one beside the DLL of Windows' own bitness (it loads
rem that DLL from its own folder), by the keys Software\{Google\Chrome,Microsoft\Edge,Mozilla}\
rem NativeMessagingHosts\@NPTOVI_BRIDGE_NAME@, whose default value names its manifest (for all users on
rem 64-bit Windows in the 64-bit view; the browsers read both).
rem
rem Exit codes: 0 registered, 1 bad argument, 2 a file is not where the zip put it,
rem 3 the registry refused a write (nothing is left behind).
rem
rem Every path is expanded outside parenthesised blocks and inside quotes, so folders such as
rem "C:\Program Files (x86)\A & B" work.
rem
rem The product's name, maker and version below are filled in by CMake from CMakeLists.txt; the
rem zip ships the filled-in copy.
setlocal EnableExtensions DisableDelayedExpansion

set "PLUGIN_ID=@ternaport.com/nptovi32"
set "PLUGIN_ID64=@ternaport.com/nptovi64"
set "MIME_TYPE=@NPTOVI_MIME_TYPE@"
set "PRODUCT_NAME=@NPTOVI_PRODUCT_NAME@"
set "VENDOR=@NPTOVI_MANUFACTURER@"
set "DESCRIPTION=Print plugin."
set "VERSION=@PROJECT_VERSION@"
set "MIME_DESCRIPTION=Ternaport raw print data"
set "HOST_NAME=@NPTOVI_BRIDGE_NAME@"

set "SCOPE=user"
:parse_arguments
if "%~1"=="" goto arguments_done
if /i "%~1"=="/all" goto argument_all
if "%~1"=="/?" goto usage
if /i "%~1"=="/help" goto usage
echo install.cmd: unknown argument "%~1">&2
call :print_usage 1>&2
exit /b 1

:argument_all
set "SCOPE=all"
shift
goto parse_arguments

:usage
call :print_usage
exit /b 0

:arguments_done
rem 64-bit Windows: a 64-bit cmd says AMD64 (or ARM64), a 32-bit one also sets PROCESSOR_ARCHITEW6432.
set "WIN64="
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" set "WIN64=1"
if defined PROCESSOR_ARCHITEW6432 set "WIN64=1"

rem A 32-bit browser on 64-bit Windows reads the 32-bit view of HKEY_LOCAL_MACHINE\Software, a
rem 64-bit one the 64-bit view; HKEY_CURRENT_USER\Software is one view for both.
set "VIEW32="
set "VIEW64="
set "ROOT=HKEY_CURRENT_USER"
set "ID64=%PLUGIN_ID64%"
set "SCOPE_TEXT=the current user"
if "%SCOPE%"=="user" goto scope_done
set "ROOT=HKEY_LOCAL_MACHINE"
set "ID64=%PLUGIN_ID%"
set "SCOPE_TEXT=all users"
if defined WIN64 set "VIEW32=/reg:32"
if defined WIN64 set "VIEW64=/reg:64"
:scope_done

set "PARENT=%ROOT%\Software\MozillaPlugins"
set "KEY32=%PARENT%\%PLUGIN_ID%"
set "KEY64=%PARENT%\%ID64%"
set "DLL32=%~dp0nptovi32.dll"
set "DLL64=%~dp0x64\nptovi64.dll"
set "HOST_VIEW=%VIEW64%"
set "BRIDGE_DIR=%~dp0"
if defined WIN64 set "BRIDGE_DIR=%~dp0x64\"
set "BRIDGE=%BRIDGE_DIR%tovi-bridge.exe"
set "MANIFEST=%BRIDGE_DIR%%HOST_NAME%.json"
set "MANIFEST_FIREFOX=%BRIDGE_DIR%%HOST_NAME%.firefox.json"

set "MISSING=%DLL32%"
if not exist "%DLL32%" goto file_missing
set "MISSING=%DLL64%"
if defined WIN64 if not exist "%DLL64%" goto file_missing
set "MISSING=%BRIDGE%"
if not exist "%BRIDGE%" goto file_missing
set "MISSING=%MANIFEST%"
if not exist "%MANIFEST%" goto file_missing
set "MISSING=%MANIFEST_FIREFOX%"
if not exist "%MANIFEST_FIREFOX%" goto file_missing

set "KEY=%KEY32%"
set "DLL=%DLL32%"
set "VIEW=%VIEW32%"
call :write_registration
if errorlevel 1 goto write_failed
if not defined WIN64 goto register_host
set "KEY=%KEY64%"
set "DLL=%DLL64%"
set "VIEW=%VIEW64%"
call :write_registration
if errorlevel 1 goto write_failed

:register_host
set "KEY=%ROOT%\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%"
set "VALUE=%MANIFEST%"
call :write_host_key
if errorlevel 1 goto write_failed
set "KEY=%ROOT%\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%"
set "VALUE=%MANIFEST%"
call :write_host_key
if errorlevel 1 goto write_failed
set "KEY=%ROOT%\Software\Mozilla\NativeMessagingHosts\%HOST_NAME%"
set "VALUE=%MANIFEST_FIREFOX%"
call :write_host_key
if errorlevel 1 goto write_failed

echo Registered %PRODUCT_NAME% %VERSION% for %SCOPE_TEXT%:
echo   key  "%KEY32%" %VIEW32%
echo   file "%DLL32%" (for 32-bit browsers)
if not defined WIN64 goto registered_done
echo   key  "%KEY64%" %VIEW64%
echo   file "%DLL64%" (for 64-bit browsers)
:registered_done
echo and the bridge "%BRIDGE%" for Chrome and Edge
echo   ("%MANIFEST%") and Firefox ("%MANIFEST_FIREFOX%") %HOST_VIEW%
echo Restart the browser so that it finds the plug-in.
exit /b 0

:file_missing
echo install.cmd: "%MISSING%" not found.>&2
echo Run install.cmd from the folder that holds nptovi32.dll, tovi-bridge.exe and x64\, as unpacked from the zip.>&2
exit /b 2

:write_failed
rem A half-written registration would make the browser try a plug-in it cannot describe: take out
rem everything this run wrote.
set "FAILED_KEY=%KEY%"
set "KEY=%KEY32%"
set "VIEW=%VIEW32%"
call :remove_registration
if not defined WIN64 goto write_failed_report
set "KEY=%KEY64%"
set "VIEW=%VIEW64%"
call :remove_registration
:write_failed_report
call :remove_host_keys
echo install.cmd: could not write "%FAILED_KEY%"; nothing was registered.>&2
if "%SCOPE%"=="all" echo Installing for all users needs an administrator: start the command prompt with "Run as administrator", or run install.cmd without /all to install for the current user only.>&2
exit /b 3

rem Writes KEY in VIEW, its Path naming DLL; exit 1 when the registry refuses a write.
:write_registration
reg add "%KEY%" /v Path /t REG_SZ /d "%DLL%" /f %VIEW% >nul
if errorlevel 1 exit /b 1
reg add "%KEY%" /v ProductName /t REG_SZ /d "%PRODUCT_NAME%" /f %VIEW% >nul
if errorlevel 1 exit /b 1
reg add "%KEY%" /v Vendor /t REG_SZ /d "%VENDOR%" /f %VIEW% >nul
if errorlevel 1 exit /b 1
reg add "%KEY%" /v Description /t REG_SZ /d "%DESCRIPTION%" /f %VIEW% >nul
if errorlevel 1 exit /b 1
reg add "%KEY%" /v Version /t REG_SZ /d "%VERSION%" /f %VIEW% >nul
if errorlevel 1 exit /b 1
reg add "%KEY%\MimeTypes\%MIME_TYPE%" /v Description /t REG_SZ /d "%MIME_DESCRIPTION%" /f %VIEW% >nul
if errorlevel 1 exit /b 1
exit /b 0

rem Writes KEY's default value in HOST_VIEW: VALUE, a manifest's path; exit 1 when the registry refuses.
:write_host_key
reg add "%KEY%" /ve /t REG_SZ /d "%VALUE%" /f %HOST_VIEW% >nul
if errorlevel 1 exit /b 1
exit /b 0

rem Deletes the bridge's three keys (and nothing above them, which the browsers own).
:remove_host_keys
reg delete "%ROOT%\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%" /f %HOST_VIEW% >nul 2>&1
reg delete "%ROOT%\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%" /f %HOST_VIEW% >nul 2>&1
reg delete "%ROOT%\Software\Mozilla\NativeMessagingHosts\%HOST_NAME%" /f %HOST_VIEW% >nul 2>&1
exit /b 0

rem Deletes KEY in VIEW, and Software\MozillaPlugins there when nothing else is left in it.
:remove_registration
reg delete "%KEY%" /f %VIEW% >nul 2>&1
call :remove_parent_if_empty
exit /b 0

:print_usage
echo Usage: install.cmd [/all]
echo   Registers nptovi32.dll from this folder (and, on 64-bit Windows, x64\nptovi64.dll)
echo   as the browser plug-in for %MIME_TYPE%.
echo   Without /all: for the current user (no administrator rights needed).
echo   /all: for all users of this computer (run as administrator).
exit /b 0

rem Software\MozillaPlugins is shared by every plug-in: it goes only when reg query lists nothing
rem in it but its own name (reg delete would take every other plug-in's key with it).
:remove_parent_if_empty
reg query "%PARENT%" %VIEW% >nul 2>&1
if errorlevel 1 exit /b 0
set "PARENT_ENTRIES=0"
for /f "delims=" %%L in ('reg query "%PARENT%" %VIEW% 2^>nul') do call :count_parent_entry "%%L"
if "%PARENT_ENTRIES%"=="0" reg delete "%PARENT%" /f %VIEW% >nul 2>&1
exit /b 0

rem Any line but the key's own name (shown under WOW6432Node by some versions of reg) is a value
rem or a subkey that belongs to someone else.
:count_parent_entry
if /i "%~1"=="%PARENT%" exit /b 0
if /i "%~1"=="%ROOT%\Software\WOW6432Node\MozillaPlugins" exit /b 0
set /a PARENT_ENTRIES+=1
exit /b 0
