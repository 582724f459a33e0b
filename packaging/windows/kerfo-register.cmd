@echo off
rem Adds "Kerfo-Encrypt" to the Explorer context menu of text files and .kfo
rem files, for the current user only: everything goes under
rem HKCU\Software\Classes, so no administrator rights are needed.
rem
rem   kerfo-register.cmd           add the entry (kerfo.exe must sit beside this file)
rem   kerfo-register.cmd /remove   take it out again
rem
rem "text" is the perceived type Windows gives .txt and the other plain-text
rem extensions; .kfo gets its own key so the entry appears on encrypted files
rem without taking over whatever program opens them.
rem
rem Results are tested with "if errorlevel" on a line of their own: Wine's cmd
rem gets || and && wrong after a redirection.
rem The path of kerfo.exe is expanded late (!exe!) inside the blocks: expanded early,
rem a ")" in it, as in "Program Files (x86)", would end the block.
setlocal EnableDelayedExpansion
set "classes=HKCU\Software\Classes\SystemFileAssociations"
set "verb=shell\Kerfo-Encrypt"
set "exe=%~dp0kerfo.exe"

if /i "%~1"=="/remove" goto remove
if not "%~1"=="" goto usage

if not exist "%exe%" (
    echo kerfo.exe was not found beside this script: "%exe%" 1>&2
    exit /b 1
)
for %%t in (text .kfo) do (
    reg add "%classes%\%%t\%verb%" /ve /d "Kerfo-Encrypt" /f >nul
    if errorlevel 1 goto failed
    reg add "%classes%\%%t\%verb%" /v Icon /d "\"!exe!\",0" /f >nul
    if errorlevel 1 goto failed
    rem The path goes in unquoted: Kerfo takes its whole command line as the
    rem file's path, spaces included, exactly as Explorer hands it over.
    reg add "%classes%\%%t\%verb%\command" /ve /d "\"!exe!\" %%1" /f >nul
    if errorlevel 1 goto failed
)
echo Kerfo-Encrypt added to the context menu of text files and .kfo files.
exit /b 0

:remove
rem Each entry is deleted whatever a query said of it first, then looked for again:
rem "removed" is said only when both are gone (a missing one is gone already).
for %%t in (text .kfo) do (
    reg delete "%classes%\%%t\%verb%" /f >nul 2>&1
    reg query "%classes%\%%t\%verb%" >nul 2>&1
    if not errorlevel 1 goto failed
)
echo Kerfo-Encrypt removed from the context menu.
exit /b 0

:usage
echo usage: kerfo-register.cmd [/remove] 1>&2
exit /b 2

:failed
echo reg.exe could not change HKCU\Software\Classes. 1>&2
exit /b 1
