#!/bin/sh
# Fails when clang-format (the tree's .clang-format) would change a C or C++ source.
# Mend with: git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format -i
set -eu
cd "$(dirname "$0")/.."
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "check-format.sh: every source is formatted"
