# What both toolchain files (clang's and GCC's) say of the target: Windows x86-64, MinGW-w64's
# headers and libraries as the only place to find them, and Wine to run what is built.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KEST_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_FIND_ROOT_PATH /usr/${KEST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every test executable runs under Wine through a wrapper that owns the build tree's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
