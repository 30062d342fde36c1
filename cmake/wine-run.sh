#!/bin/sh
# Runs a Windows program of this build tree under Wine.
#
# One private prefix per build tree (created on first use, under a lock), code page 932 and
# Japan's clock (UTC+9) as our users have them, the null graphics driver, and no debugger: a
# crash must fail.
#
# KEST_HEAP_CHECK=1 switches on Wine's heap checking (tails and freed blocks of every heap
# block are checked whenever a heap is validated) and fails the run on every heap complaint Wine
# prints, from the program or a program it starts, even when the program itself passed: err:heap
# for a damaged block, and warn:heap, which is all Wine says of a block freed by the wrong
# routine (free for one of _aligned_malloc), a leak.
#
# cmake/wine-display-run.sh runs programs through this script on a display of their own, in
# a prefix of their own: KEST_WINE_ROOT (the prefix's folder, default <build>/wine) and
# KEST_WINE_GRAPHICS (the graphics driver the prefix is made with, default null).
#
# KEST_WINE_SAY_STATUS=1 (the GoogleTest programs' tests set it) adds one line on standard error
# when the program ends with a status other than 0: a program that dies at load or before its
# first output otherwise leaves CTest an empty log. Wine passes the low byte of the Windows exit
# code (0xC0000409 ends as 9).
#
# Refuses to run (exit status 125) without the locale ja_JP.UTF-8 (cmake/japanese-locale.sh).
set -eu

. "$(dirname "$0")/japanese-locale.sh"
kest_require_japanese_locale wine-run.sh

exe=$1
shift

build_dir=${KEST_WINE_BUILD_DIR:-$(cd "$(dirname "$exe")/.." && pwd)}
wine_root=${KEST_WINE_ROOT:-$build_dir/wine}
export WINEPREFIX=$wine_root/prefix
# Wine keeps its server socket under TMPDIR: one per prefix, used for every command of it.
export TMPDIR=$wine_root/tmp
export WINEDEBUG=${KEST_WINEDEBUG:--all}
if [ "${KEST_HEAP_CHECK:-0}" = 1 ]; then
    export WINEDEBUG="$WINEDEBUG,warn+heap,err+heap"
fi
# KEST_WINEDLLOVERRIDES: other overrides, e.g. without winedbg.exe's to read a minidump.
export WINEDLLOVERRIDES="${KEST_WINEDLLOVERRIDES:-winedbg.exe=d;mscoree=;mshtml=}"
export LC_ALL=ja_JP.UTF-8
export TZ=Asia/Tokyo
export WINEARCH=win64

mkdir -p "$TMPDIR"

(
    flock 9
    if [ ! -f "$WINEPREFIX/.kest-ready" ]; then
        rm -rf "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1 9>&-
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "${KEST_WINE_GRAPHICS:-null}" /f </dev/null >/dev/null 2>&1 9>&-
        # X11 only: without a window manager, every window waits 2 s for one when it closes.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 9>&-
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 9>&-
        # Debian's Wine 8 does not load its own fonts from /usr/share/wine/fonts: without Marlett
        # the close button of every caption shows an "r" instead of its cross.
        for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
            [ ! -f "/usr/share/wine/fonts/$font" ] || ln -sf "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
        done
        wineserver -w 9>&-
        touch "$WINEPREFIX/.kest-ready"
    fi
    # Wine's helper processes inherit the standard handles of the process that starts them;
    # start them here on /dev/null so that they never hold CTest's output pipe open.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
) 9>"$wine_root/lock"

# Tells how the program ended, if it failed and was asked to.
say_status() {
    [ "$1" -eq 0 ] || [ "${KEST_WINE_SAY_STATUS:-0}" != 1 ] ||
        echo "wine-run.sh: $(basename "$exe") ended with exit status $1" >&2
}

# A GoogleTest program writes its first line before any test runs. Ended with a failure and not
# a byte written, it never ran: Wine did not start it, which on a loaded machine happens now and
# then (seen: exit status 1 in a fraction of a second, no output, in one program of some 250;
# the same program passes when started again). Such a start is said and made once more; a
# program that dies at load does so again and fails.
started_again=0
run_once() {
    status=0
    if [ "${KEST_WINE_SAY_STATUS:-0}" != 1 ] || [ "$started_again" = 1 ]; then
        wine "$exe" "$@" || status=$?
        return
    fi
    output=$(mktemp "$TMPDIR/output.XXXXXX")
    wine "$exe" "$@" >"$output" || status=$?
    if [ "$status" -ne 0 ] && [ ! -s "$output" ]; then
        rm -f "$output"
        echo "wine-run.sh: $(basename "$exe") ended with exit status $status before writing anything; started again" >&2
        started_again=1
        run_once "$@"
        return
    fi
    cat "$output"
    rm -f "$output"
}

if [ "${KEST_HEAP_CHECK:-0}" != 1 ]; then
    run_once "$@"
    say_status "$status"
    exit "$status"
fi

# Standard error goes through a file, not a pipe: a process the program starts may outlive it.
errors=$(mktemp "$TMPDIR/heap-check.XXXXXX")
run_once "$@" 2>"$errors"
cat "$errors" >&2
# Heap lines of Wine's own that are proven harmless, as extended regular expressions, each with
# its reason. None so far: the heap-checking run of the mingw-again tests printed no heap line
# (2026-12-10).
heap_allowed='^$'
complaints=$(grep -E ':(warn|err):heap:' "$errors" | grep -v -E "$heap_allowed" || true)
if [ -n "$complaints" ]; then
    echo "wine-run.sh: Wine complained about the heap while running $exe" >&2
    [ "$status" -ne 0 ] || status=1
fi
rm -f "$errors"
say_status "$status"
exit "$status"
