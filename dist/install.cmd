@echo off
rem Registers nptovi32.dll, the file beside this script, as an NPAPI plug-in: browsers that load
rem NPAPI plug-ins on Windows find it under Software\MozillaPlugins.
rem
rem   install.cmd         for the current user (HKEY_CURRENT_USER); needs no administrator rights
rem   install.cmd /all    for all users (HKEY_LOCAL_MACHINE, 32-bit registry view); run it from a
rem                       command prompt started with "Run as administrator"
rem
rem Exit codes: 0 registered, 1 bad argument, 2 nptovi32.dll not beside this script,
rem 3 the registry refused a write (nothing is left behind).
rem
rem Every path is expanded outside parenthesised blocks and inside quotes, so folders such as
rem "C:\Program Files (x86)\A & B" work.
rem
rem The product's name, maker and version below are filled in by CMake from CMakeLists.txt; the
rem zip ships the filled-in copy.
setlocal EnableExtensions DisableDelayedExpansion

set "PLUGIN_ID=@ternaport.com/nptovi32"
set "MIME_TYPE=@NPTOVI_MIME_TYPE@"
set "PRODUCT_NAME=@NPTOVI_PRODUCT_NAME@"
set "VENDOR=@NPTOVI_MANUFACTURER@"
set "DESCRIPTION=Print plugin."
set "VERSION=@PROJECT_VERSION@"
set "MIME_DESCRIPTION=Ternaport raw print data"

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
rem A 32-bit browser on 64-bit Windows reads the 32-bit view of HKEY_LOCAL_MACHINE\Software;
rem HKEY_CURRENT_USER\Software is one view for both.
set "VIEW="
set "ROOT=HKEY_CURRENT_USER"
set "SCOPE_TEXT=the current user"
if "%SCOPE%"=="user" goto scope_done
set "ROOT=HKEY_LOCAL_MACHINE"
set "SCOPE_TEXT=all users"
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" set "VIEW=/reg:32"
if defined PROCESSOR_ARCHITEW6432 set "VIEW=/reg:32"
:scope_done

set "PARENT=%ROOT%\Software\MozillaPlugins"
set "KEY=%PARENT%\%PLUGIN_ID%"
set "MIME_KEY=%KEY%\MimeTypes\%MIME_TYPE%"
set "DLL=%~dp0nptovi32.dll"

if exist "%DLL%" goto dll_found
echo install.cmd: "%DLL%" not found.>&2
echo Run install.cmd from the folder that holds nptovi32.dll, as unpacked from the zip.>&2
exit /b 2
:dll_found

reg add "%KEY%" /v Path /t REG_SZ /d "%DLL%" /f %VIEW% >nul
if errorlevel 1 goto write_failed
reg add "%KEY%" /v ProductName /t REG_SZ /d "%PRODUCT_NAME%" /f %VIEW% >nul
if errorlevel 1 goto write_failed
reg add "%KEY%" /v Vendor /t REG_SZ /d "%VENDOR%" /f %VIEW% >nul
if errorlevel 1 goto write_failed
reg add "%KEY%" /v Description /t REG_SZ /d "%DESCRIPTION%" /f %VIEW% >nul
if errorlevel 1 goto write_failed
reg add "%KEY%" /v Version /t REG_SZ /d "%VERSION%" /f %VIEW% >nul
if errorlevel 1 goto write_failed
reg add "%MIME_KEY%" /v Description /t REG_SZ /d "%MIME_DESCRIPTION%" /f %VIEW% >nul
if errorlevel 1 goto write_failed

echo Registered %PRODUCT_NAME% %VERSION% for %SCOPE_TEXT%:
echo   key  "%KEY%"
if defined VIEW echo   in the 32-bit registry view
echo   file "%DLL%"
echo Restart the browser so that it finds the plug-in.
exit /b 0

:write_failed
rem A half-written registration would make the browser try a plug-in it cannot describe: take
rem it out again.
reg delete "%KEY%" /f %VIEW% >nul 2>&1
call :remove_parent_if_empty
echo install.cmd: could not write "%KEY%"; nothing was registered.>&2
if "%SCOPE%"=="all" echo Installing for all users needs an administrator: start the command prompt with "Run as administrator", or run install.cmd without /all to install for the current user only.>&2
exit /b 3

:print_usage
echo Usage: install.cmd [/all]
echo   Registers nptovi32.dll from this folder as the browser plug-in for
echo   %MIME_TYPE%.
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
