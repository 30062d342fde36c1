# Cross-build for Windows x86-64 with MinGW-w64's GCC (posix thread model): the second
# compiler, whose warnings and trapping undefined-behaviour checks the trap build runs. The
# shipped binaries are clang's (mingw-w64-x86_64-clang.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KEST_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${KEST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${KEST_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL      ${KEST_MINGW_PREFIX}-dlltool CACHE FILEPATH "dlltool for import libraries")
set(CMAKE_OBJDUMP      ${KEST_MINGW_PREFIX}-objdump CACHE FILEPATH "objdump")

set(CMAKE_FIND_ROOT_PATH /usr/${KEST_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every test executable runs under Wine through a wrapper that owns the build tree's prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
