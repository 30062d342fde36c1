#!/bin/sh
# What the mitigations cost (cmake/KestHardening.cmake): the release build with them and without
# them (KEST_HARDENING=OFF), in one sitting. Prints the shipped (stripped) size of each DLL of
# both builds, then runs kestbench.exe of each in turn (bench/run.sh, in build/bench and
# build/bench-unhardened, one Wine prefix of the bench's each): compare `Log` and the lists.
#   bench/harden-cost.sh [kestbench's arguments]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
hardened=${KEST_BENCH_HARDENED_DIR:-$root/build/bench}
unhardened=${KEST_BENCH_UNHARDENED_DIR:-$root/build/bench-unhardened}
toolchain=$root/cmake/mingw-w64-x86_64-clang.cmake

for build in "$hardened" "$unhardened"; do
    hardening=ON
    [ "$build" = "$unhardened" ] && hardening=OFF
    cmake -S "$root" -B "$build" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
        -DKEST_HARDENING=$hardening >/dev/null
    cmake --build "$build" --target kestbench KestErr -j2 >/dev/null
done

strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$hardened/CMakeCache.txt")
sizes=$(mktemp -d)
trap 'rm -rf "$sizes"' EXIT
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "shipped size in bytes (stripped)    with     without   growth"
for dll in KestLog KestErr KestCommon KestMyCert; do
    "$strip" -o "$sizes/with.dll" "$hardened/bin/$dll.dll"
    "$strip" -o "$sizes/without.dll" "$unhardened/bin/$dll.dll"
    with=$(stat -c %s "$sizes/with.dll")
    without=$(stat -c %s "$sizes/without.dll")
    printf '  %-14s %20d %11d %7.1f%%\n' "$dll.dll" "$with" "$without" \
        "$(echo "scale=3; ($with - $without) * 100 / $without" | bc)"
done

echo
echo "=== with the mitigations ==="
KEST_BENCH_BUILD_DIR=$hardened "$root/bench/run.sh" "$@"
echo
echo "=== without them (KEST_HARDENING=OFF) ==="
KEST_BENCH_BUILD_DIR=$unhardened "$root/bench/run.sh" "$@"
