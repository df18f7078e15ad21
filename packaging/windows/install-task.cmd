@echo off
rem Installs Sorvik and its daily task. Run it from the unpacked folder in a command prompt started
rem as administrator: it copies sorvik.exe to %ProgramData%\Veltor\Sorvik and registers the task
rem \Veltor\Sorvik from sorvik-task.xml and the event source Sorvik. remove-task.cmd undoes it all.
setlocal EnableExtensions EnableDelayedExpansion
set "target=%ProgramData%\Veltor\Sorvik"

fltmc >nul 2>&1 || (echo install-task: start this from a command prompt run as administrator. & exit /b 1)
if not exist "%~dp0sorvik.exe" (echo install-task: sorvik.exe is not beside this script. & exit /b 1)

rem SYSTEM runs the program from this directory and appends to the log in it: a junction or link on
rem the way would send both somewhere else, so refuse it.
for %%D in ("%ProgramData%\Veltor" "%target%") do (
    if exist "%%~D\" (
        set "attributes=%%~aD"
        if /i "!attributes:~8,1!"=="l" (echo install-task: %%~D is a link or junction; remove it first. & exit /b 1)
    )
)
if not exist "%target%\" mkdir "%target%" || exit /b 1
rem Only SYSTEM and administrators may change what SYSTEM runs; other users may read the log.
icacls "%target%" /setowner *S-1-5-32-544 /T /C >nul || exit /b 1
icacls "%target%" /inheritance:r /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /T /C >nul || exit /b 1
copy /y "%~dp0sorvik.exe" "%target%\sorvik.exe" >nul || exit /b 1
rem The event source of --event-log: Event Viewer finds the text of Sorvik's events in the message
rem table of the program named here.
set "source=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Sorvik"
reg add "%source%" /v EventMessageFile /t REG_SZ /d "%target%\sorvik.exe" /f >nul || exit /b 1
reg add "%source%" /v TypesSupported /t REG_DWORD /d 7 /f >nul || exit /b 1

schtasks /Create /TN "\Veltor\Sorvik" /XML "%~dp0sorvik-task.xml" /F || exit /b 1
echo.
echo The task \Veltor\Sorvik runs "%target%\sorvik.exe" --list --log "%target%\sorvik.log" --event-log
echo every day at 03:00 (plus a random delay of up to an hour) as SYSTEM: each run's list, after a
echo line with its start time, is appended to sorvik.log (over 1 MiB it becomes sorvik.log.1), and
echo its outcome is an event of the source Sorvik in the Application event log.
echo.
echo See what it would remove, changing nothing:  "%target%\sorvik.exe" --dry-run
echo Run it now:                                  schtasks /Run /TN "\Veltor\Sorvik"
echo Remove the task and the program:             remove-task.cmd
echo                               or by hand:    schtasks /Delete /TN "\Veltor\Sorvik" /F
exit /b 0
