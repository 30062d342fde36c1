#!/bin/sh
# Runs a Windows program of this build tree under Wine on a display, as our users see it:
#   wine-display-run.sh <program.exe> [arguments...]
#
# Starts an Xvfb of its own on a free display, and runs the program through wine-run.sh (code
# page 932, no debugger: a crash fails) with Wine's X11 driver, Japan's clock and a prefix of
# its own, <build>/wine-display/prefix, made on first use. Its windows are real: a message box
# appears, and another thread or program can find, read and close it. After the program has
# ended, waits for the prefix's wineserver to end, then stops the Xvfb it started.
#
# Exit status: the program's, 2 if Xvfb is missing or does not start, 125 without the locale
# ja_JP.UTF-8 (cmake/japanese-locale.sh), before any Xvfb is started. As with wine-run.sh,
# KEST_WINE_BUILD_DIR puts the prefix elsewhere; Xvfb's screen: KEST_XVFB_SCREEN (default
# 1280x1024x24). The Japanese texts need a Japanese font that fontconfig finds
# (fonts-ipafont-gothic): without one they are drawn as squares.
set -eu

exe=$1
here=$(cd "$(dirname "$0")" && pwd)

. "$here/japanese-locale.sh"
kest_require_japanese_locale wine-display-run.sh

if ! command -v Xvfb >/dev/null 2>&1; then
    echo "wine-display-run.sh: Xvfb is not installed (Debian package xvfb, see scripts/setup.sh)" >&2
    exit 2
fi

build_dir=${KEST_WINE_BUILD_DIR:-$(cd "$(dirname "$exe")/.." && pwd)}
export KEST_WINE_ROOT=$build_dir/wine-display
export KEST_WINE_GRAPHICS=x11
export TZ=Asia/Tokyo
mkdir -p "$KEST_WINE_ROOT/tmp"

xvfb_pid=""
work=$(mktemp -d "$KEST_WINE_ROOT/tmp/display.XXXXXX")
stop_xvfb() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    fi
    rm -rf "$work"
}
trap stop_xvfb EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Xvfb picks the first free display itself and writes its number to the pipe once it takes
# connections; it closes the pipe without a number if it cannot start.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 "${KEST_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp \
    3>"$work/display" </dev/null >/dev/null 2>"$work/xvfb.log" &
xvfb_pid=$!
display=""
read -r display <"$work/display" || true
if [ -z "$display" ]; then
    echo "wine-display-run.sh: Xvfb did not start:" >&2
    tail -n 5 "$work/xvfb.log" >&2
    exit 2
fi
export DISPLAY=":$display"

status=0
"$here/wine-run.sh" "$@" || status=$?
# Wine's own processes (explorer.exe holds the desktop window) still use the display.
WINEPREFIX=$KEST_WINE_ROOT/prefix TMPDIR=$KEST_WINE_ROOT/tmp wineserver -w
exit "$status"
