# Cross-build for Windows x86-64 with clang for the MinGW-w64 target, linked by lld: the
# release compiler. The runtime is MinGW-w64's GCC's (posix thread model): its libstdc++ headers
# and libraries by path, msvcrt, winpthread linked statically as GCC's driver links it. Code
# view debug information, so that lld writes a PDB per binary (KestTargets.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64-target.cmake)
set(KEST_MINGW_GCC_DIR /usr/lib/gcc/${KEST_MINGW_PREFIX}/12-posix
    CACHE PATH "MinGW-w64 GCC's folder (posix thread model): libstdc++, libgcc")
set(CMAKE_C_COMPILER   clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET   ${KEST_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${KEST_MINGW_PREFIX})
set(CMAKE_RC_COMPILER  ${KEST_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL      ${KEST_MINGW_PREFIX}-dlltool CACHE FILEPATH "dlltool for import libraries")
set(CMAKE_OBJDUMP      ${KEST_MINGW_PREFIX}-objdump CACHE FILEPATH "objdump")
# GNU strip stamps the PE header with SOURCE_DATE_EPOCH at install (KestFinishInstall.cmake).
set(CMAKE_STRIP        ${KEST_MINGW_PREFIX}-strip CACHE FILEPATH "strip")

set(kest_libstdcxx ${KEST_MINGW_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-nostdinc++ -isystem ${kest_libstdcxx} -isystem ${kest_libstdcxx}/${KEST_MINGW_PREFIX} -isystem ${kest_libstdcxx}/backward")
set(CMAKE_C_FLAGS_INIT "")
string(APPEND CMAKE_C_FLAGS_INIT " -gcodeview")
string(APPEND CMAKE_CXX_FLAGS_INIT " -gcodeview")
# GCC's driver adds winpthread (-lpthread) for the posix thread model; clang's does not. lld
# takes archives in any order.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${KEST_MINGW_GCC_DIR} -lpthread")
endforeach()
