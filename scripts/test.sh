#!/bin/sh
# Builds everything for Windows x86-64 and runs the tests under Wine, twice: as they are, then
# with Wine's heap checking on. The long runs are apart: ctest --preset mingw-long.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/check-format.sh
cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw "$@"
# Again with Wine's heap checking: a block overrun anywhere fails the run.
KEST_HEAP_CHECK=1 ctest --preset mingw "$@"
