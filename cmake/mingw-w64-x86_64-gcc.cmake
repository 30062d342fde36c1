# Cross-build for Windows x86-64 with MinGW-w64's GCC (posix thread model): the second
# compiler, whose warnings and trapping undefined-behaviour checks the trap build runs. The
# shipped binaries are clang's (mingw-w64-x86_64-clang.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-target.cmake)
set(CMAKE_C_COMPILER   ${KEST_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KEST_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${KEST_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL      ${KEST_MINGW_PREFIX}-dlltool CACHE FILEPATH "dlltool for import libraries")
set(CMAKE_OBJDUMP      ${KEST_MINGW_PREFIX}-objdump CACHE FILEPATH "objdump")
