#!/bin/sh
# Builds kestbench.exe in build/bench and runs it under Wine in a prefix of its own
# (build/bench/kestbench/wine), so that the tests' settings and certificate store are not
# touched. The keyed certificates it makes on the first run stay there for later runs.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
# KEST_BENCH_COMPILER=gcc builds with the second compiler (in build/bench-gcc), for comparison.
compiler=${KEST_BENCH_COMPILER:-clang}
case $compiler in
clang) build=${KEST_BENCH_BUILD_DIR:-$root/build/bench} ;;
gcc) build=${KEST_BENCH_BUILD_DIR:-$root/build/bench-gcc} ;;
*) echo "run.sh: KEST_BENCH_COMPILER is clang or gcc" >&2; exit 2 ;;
esac

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" --toolchain "$root/cmake/mingw-w64-x86_64-$compiler.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" --target kestbench -j2 >/dev/null

echo "compiler: $compiler"
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(wine --version 2>/dev/null)"
# Figures under Wine move with the load of the machine: show it before and after.
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
KEST_WINE_BUILD_DIR=$build/kestbench "$root/cmake/wine-run.sh" "$build/bin/kestbench.exe" "$@" || status=$?
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
