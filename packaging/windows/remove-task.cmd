@echo off
rem Removes Sorvik's daily task, its event source and the program that install-task.cmd installed
rem (the events already logged stay in the Application log). The log
rem %ProgramData%\Veltor\Sorvik\sorvik.log (and sorvik.log.1) stays; delete the folder when it is no
rem longer needed. Where the MSI installed Sorvik, remove it in Programs and Features instead.
setlocal EnableExtensions
set "target=%ProgramData%\Veltor\Sorvik"

fltmc >nul 2>&1 || (echo remove-task: start this from a command prompt run as administrator. & exit /b 1)
schtasks /Query /TN "\Veltor\Sorvik" >nul 2>&1 && (schtasks /Delete /TN "\Veltor\Sorvik" /F || exit /b 1)
set "source=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Sorvik"
reg query "%source%" >nul 2>&1 && (reg delete "%source%" /f >nul || exit /b 1)
if exist "%target%\sorvik.exe" (del /f "%target%\sorvik.exe" || exit /b 1)
echo Removed the task \Veltor\Sorvik, the event source Sorvik and "%target%\sorvik.exe".
echo The log "%target%\sorvik.log" is kept.
exit /b 0
