#!/bin/sh
# The main job on a sample installation: builds, then walks the host tool through it and
# prints the log written, converted from Shift_JIS to UTF-8.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw --target kesttool KestIni

build=build/mingw
run() { ./cmake/wine-run.sh "$build/bin/kesttool.exe" "$@"; }

sample="$build/sample-installation"
rm -rf "$sample" && mkdir -p "$sample"
sample_win='Z:'$(realpath "$sample" | tr / '\\')

run install-dir "$sample_win"
run log-on "$sample_win\\kest.log"
run log "sample installation ready"
run log-flag
run log-off
run log "not written: the log is off"
run log-flag

echo "--- $sample/kest.log"
iconv -f CP932 -t UTF-8 "$sample/kest.log"
