#!/bin/sh
# Builds everything for Windows x86-64 and runs the tests under Wine (local time of Japan,
# code page 932): as they are (clang and lld, the release build), once clang-tidy has found
# nothing in that build's sources; then with Wine's heap checking on, then once more from GCC's
# build, whose DLLs trap on undefined behaviour; both builds treat warnings as errors. Last, two
# clean builds of the package from two clones of HEAD must give the same bytes. The long runs
# are apart: ctest --preset mingw-long.
set -eu
cd "$(dirname "$0")/.."
# The presets fix no job count: build on every core unless the caller says otherwise.
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
export CMAKE_BUILD_PARALLEL_LEVEL
./scripts/setup.sh
./scripts/check-format.sh
cmake --preset mingw -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
cmake --build --preset mingw
# The analyzers' opinion (.clang-tidy) of every source but the tests': no finding passes.
./scripts/check-tidy.sh build/mingw
ctest --preset mingw "$@"
# Again with Wine's heap checking: a block overrun anywhere fails the run. The test package's
# test (label test-package) runs every program once more, so it runs in the first run only.
KEST_HEAP_CHECK=1 ctest --preset mingw-again "$@"
# The second compiler's opinion: GCC, -Werror everywhere, -fsanitize=undefined (trapping) in the DLLs.
cmake --preset mingw-trap
cmake --build --preset mingw-trap
ctest --preset mingw-trap "$@"
# Bit-for-bit rebuilds: the package of HEAD built in two folders.
./scripts/check-rebuild.sh
