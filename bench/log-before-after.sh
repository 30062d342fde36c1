#!/bin/sh
# Times Log of this tree against Log of an earlier commit in one kestbench run: builds that
# commit's KestLog.dll alone (its sources exported into build/log-before/, not a worktree, so the
# repository is left as it is), puts it beside kestbench.exe as KestLogBefore.dll, and runs
# bench/run.sh --log (the figures of Log only). The default commit is 68d8ce4, the last whose Log
# opened the file for itself alone and dropped a record it could not open at once.
#   bench/log-before-after.sh [commit]
# KEST_BENCH_COMPILER and KEST_BENCH_BUILD_DIR as for run.sh; both builds use the same compiler.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse --verify --short "${1:-68d8ce4}^{commit}")
compiler=${KEST_BENCH_COMPILER:-clang}
case $compiler in
clang) build=${KEST_BENCH_BUILD_DIR:-$root/build/bench} ;;
gcc) build=${KEST_BENCH_BUILD_DIR:-$root/build/bench-gcc} ;;
*) echo "log-before-after.sh: KEST_BENCH_COMPILER is clang or gcc" >&2; exit 2 ;;
esac

before=$root/build/log-before/$commit-$compiler
if [ ! -f "$before/source/CMakeLists.txt" ]; then
    rm -rf "$before"
    mkdir -p "$before/source"
    git -C "$root" archive "$commit" | tar -x -C "$before/source"
fi
if [ ! -f "$before/build/CMakeCache.txt" ]; then
    cmake -S "$before/source" -B "$before/build" \
        --toolchain "$before/source/cmake/mingw-w64-x86_64-$compiler.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$before/build" --target KestLog -j2 >/dev/null
mkdir -p "$build/bin"
cp "$before/build/bin/KestLog.dll" "$build/bin/KestLogBefore.dll"

echo "KestLogBefore.dll: KestLog.dll of $commit; this tree: $(git -C "$root" rev-parse --short HEAD)$(
    [ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] || echo ', with changes')"
KEST_BENCH_BUILD_DIR=$build exec "$root/bench/run.sh" --log
