#!/bin/sh
# Runs a Windows program of this build tree under Wine.
#
# One private prefix per build tree (created on first use, under a lock), code page 932
# as our users have it, the null graphics driver, and no debugger: a crash must fail.
set -eu

exe=$1
shift

build_dir=${KEST_WINE_BUILD_DIR:-$(cd "$(dirname "$exe")/.." && pwd)}
wine_root=$build_dir/wine
export WINEPREFIX=$wine_root/prefix
# Wine keeps its server socket under TMPDIR: one per prefix, used for every command of it.
export TMPDIR=$wine_root/tmp
export WINEDEBUG=${KEST_WINEDEBUG:--all}
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=;mshtml="
export LC_ALL=ja_JP.UTF-8
export WINEARCH=win64

mkdir -p "$TMPDIR"

(
    flock 9
    if [ ! -f "$WINEPREFIX/.kest-ready" ]; then
        rm -rf "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1 9>&-
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 9>&-
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 9>&-
        wineserver -w 9>&-
        touch "$WINEPREFIX/.kest-ready"
    fi
    # Wine's helper processes inherit the standard handles of the process that starts them;
    # start them here on /dev/null so that they never hold CTest's output pipe open.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
) 9>"$wine_root/lock"

exec wine "$exe" "$@"
