#!/bin/sh
# Builds everything for Windows x86-64 and runs the tests under Wine.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw "$@"
