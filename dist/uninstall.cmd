@echo off
rem Removes the registration that install.cmd wrote: the plug-in's keys under
rem Software\MozillaPlugins with their values and MIME type (on 64-bit Windows the 64-bit DLL's too),
rem and Software\MozillaPlugins itself when no other plug-in is registered there; and the bridge's keys
rem under Software\{Google\Chrome,Microsoft\Edge,Mozilla}\NativeMessagingHosts. The files and their
rem folder are not touched.
rem
rem The bridge's name is filled in by CMake from CMakeLists.txt; the zip ships the filled-in copy.
rem
rem   uninstall.cmd         for the current user (HKEY_CURRENT_USER)
rem   uninstall.cmd /all    for all users (HKEY_LOCAL_MACHINE, both registry views on 64-bit
rem                         Windows); run it from a command prompt started with "Run as administrator"
rem
rem Exit codes: 0 removed, or nothing was registered; 1 bad argument; 3 the registry refused
rem the removal.
setlocal EnableExtensions DisableDelayedExpansion

set "PLUGIN_ID=@ternaport.com/nptovi32"
set "PLUGIN_ID64=@ternaport.com/nptovi64"
set "HOST_NAME=@NPTOVI_BRIDGE_NAME@"

set "SCOPE=user"
:parse_arguments
if "%~1"=="" goto arguments_done
if /i "%~1"=="/all" goto argument_all
if "%~1"=="/?" goto usage
if /i "%~1"=="/help" goto usage
echo uninstall.cmd: unknown argument "%~1">&2
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
rem The same keys and views as install.cmd: on 64-bit Windows the 64-bit DLL's registration too
rem (for the current user under a key of its own, for all users the same key in the 64-bit view).
set "WIN64="
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" set "WIN64=1"
if defined PROCESSOR_ARCHITEW6432 set "WIN64=1"
set "VIEW32="
set "VIEW64="
set "HOST_VIEW="
set "ROOT=HKEY_CURRENT_USER"
set "ID64=%PLUGIN_ID64%"
set "SCOPE_TEXT=the current user"
set "OTHER_SCOPE=uninstall.cmd /all"
if "%SCOPE%"=="user" goto scope_done
set "ROOT=HKEY_LOCAL_MACHINE"
set "ID64=%PLUGIN_ID%"
set "SCOPE_TEXT=all users"
set "OTHER_SCOPE=uninstall.cmd"
if defined WIN64 set "VIEW32=/reg:32"
if defined WIN64 set "VIEW64=/reg:64"
if defined WIN64 set "HOST_VIEW=/reg:64"
:scope_done

set "PARENT=%ROOT%\Software\MozillaPlugins"
set "REMOVED=0"
set "KEY=%PARENT%\%PLUGIN_ID%"
set "VIEW=%VIEW32%"
call :remove_registration
if errorlevel 1 goto delete_failed
if not defined WIN64 goto removed
set "KEY=%PARENT%\%ID64%"
set "VIEW=%VIEW64%"
call :remove_registration
if errorlevel 1 goto delete_failed

:removed
set "VIEW=%HOST_VIEW%"
set "KEY=%ROOT%\Software\Google\Chrome\NativeMessagingHosts\%HOST_NAME%"
call :remove_host_key
if errorlevel 1 goto delete_failed
set "KEY=%ROOT%\Software\Microsoft\Edge\NativeMessagingHosts\%HOST_NAME%"
call :remove_host_key
if errorlevel 1 goto delete_failed
set "KEY=%ROOT%\Software\Mozilla\NativeMessagingHosts\%HOST_NAME%"
call :remove_host_key
if errorlevel 1 goto delete_failed

if not "%REMOVED%"=="0" goto removed_report
echo The plug-in is not registered for %SCOPE_TEXT%; nothing to remove.
echo If it was installed the other way, run %OTHER_SCOPE%.
exit /b 0
:removed_report
echo Removed the plug-in's registration for %SCOPE_TEXT%; the files are left in place.
echo Restart the browser so that it forgets the plug-in.
exit /b 0

:delete_failed
echo uninstall.cmd: could not remove "%KEY%".>&2
if "%SCOPE%"=="all" echo Removing an installation for all users needs an administrator: start the command prompt with "Run as administrator".>&2
exit /b 3

rem Deletes the bridge's KEY in VIEW when it is there (nothing above it, which the browser owns),
rem says so and counts it; exit 1 when the registry refuses.
:remove_host_key
reg query "%KEY%" %VIEW% >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "%KEY%" /f %VIEW% >nul
if errorlevel 1 exit /b 1
set /a REMOVED+=1
echo   removed key "%KEY%" %VIEW%
exit /b 0

rem Deletes KEY in VIEW when it is there, says so and counts it, then Software\MozillaPlugins there
rem when nothing else is left in it; exit 1 when the registry refuses.
:remove_registration
reg query "%KEY%" %VIEW% >nul 2>&1
if errorlevel 1 exit /b 0
set "REGISTERED_DLL="
for /f "tokens=1,2,*" %%A in ('reg query "%KEY%" /v Path %VIEW% 2^>nul') do if /i "%%A"=="Path" set "REGISTERED_DLL=%%C"
reg delete "%KEY%" /f %VIEW% >nul
if errorlevel 1 exit /b 1
set /a REMOVED+=1
echo   removed key "%KEY%" %VIEW%
if defined REGISTERED_DLL echo     which named "%REGISTERED_DLL%"
call :remove_parent_if_empty
exit /b 0

:print_usage
echo Usage: uninstall.cmd [/all]
echo   Removes the browser plug-in registration made by install.cmd.
echo   Without /all: for the current user.
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
