#!/bin/sh
# The main job: on a fresh Debian machine, installs what is missing, builds, and walks the
# host tool along a host's typical road on a sample installation in a Wine prefix of its own
# (build/mingw/demo, made anew; the tests' prefix stays untouched), ending with the log file
# converted from Shift_JIS to UTF-8 and its failure chains (kesttool log show --errors).
set -eu
cd "$(dirname "$0")/.."
# The presets fix no job count: build on every core unless the caller says otherwise.
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
export CMAKE_BUILD_PARALLEL_LEVEL
./scripts/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw
exec ./tools/KestTool/typical-road.sh build/mingw/bin build/mingw/demo
