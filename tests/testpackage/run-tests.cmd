@echo off
rem Runs every GoogleTest program of this package (tests.txt) from this folder, each with its
rem results in results\<name>.xml and its output in results\<name>.txt; one line per program,
rem then the test cases of all: "K skipped" and last "N passed, M failed". Exit status 0 only if every
rem program ran and no test case failed, 1 otherwise, 2 when refused.
rem
rem The tests empty and refill this account's personal certificate store and write
rem HKCU\Software\Kest (README.txt): they refuse to run unless
rem KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT=1 says that this account may be changed.
setlocal EnableExtensions
if not "%KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT%"=="1" goto refuse

cd /d "%~dp0"
if exist results rd /s /q results
md results
set /a passed=0, failed=0, skipped=0, programs=0
for /f "usebackq delims=" %%p in ("tests.txt") do call :run "%%p"
if %programs%==0 (
    echo run-tests.cmd: tests.txt names no program
    exit /b 1
)
echo %skipped% skipped
echo %passed% passed, %failed% failed
if not %failed%==0 exit /b 1
exit /b 0

:refuse
echo run-tests.cmd: refused. These tests delete every certificate of this account's personal 1>&2
echo store and write HKCU\Software\Kest. Run them only in a throwaway account, a virtual 1>&2
echo machine or Windows Sandbox, with KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT=1 (README.txt). 1>&2
exit /b 2

rem One program: its counts come from GoogleTest's closing lines ("[  PASSED  ] 5 tests.",
rem "[  FAILED  ] 1 test, listed below:", "[  SKIPPED ] 2 tests, listed below:"). A program
rem without them, or that failed with no failed test, counts as one failed test case.
:run
set /a programs+=1
set "name=%~n1"
set "output=results\%name%.txt"
"%~1" --gtest_output=xml:results\%name%.xml >"%output%" 2>&1
set status=%errorlevel%
set /a p=0, f=0, s=0
set "summary="
for /f "tokens=2-5" %%b in ('%SystemRoot%\System32\find.exe " ] " ^< "%output%"') do call :tally "%%b" "%%d" "%%e"
if not defined summary goto unfinished
set /a passed+=p, failed+=f, skipped+=s
if not %status%==0 if %f%==0 goto unexplained
if %f%==0 (set "verdict=ok    ") else (set "verdict=FAILED")
echo %verdict% %name%: %p% passed, %f% failed, %s% skipped
exit /b 0
:unfinished
set /a failed+=1
echo FAILED %name%: ended without GoogleTest's summary, exit status %status% (%output%)
exit /b 0
:unexplained
set /a failed+=1
echo FAILED %name%: %p% passed, %f% failed, %s% skipped, but exit status %status% (%output%)
exit /b 0

:tally
if not "%~3"=="test." if not "%~3"=="tests." if not "%~3"=="test," if not "%~3"=="tests," exit /b 0
if "%~1"=="PASSED" set /a p=%~2
if "%~1"=="PASSED" set "summary=1"
if "%~1"=="FAILED" set /a f=%~2
if "%~1"=="SKIPPED" set /a s=%~2
exit /b 0
