# Clang as an MSVC-ABI compiler (x86_64-pc-windows-msvc) with lld-link: the tests' stand-in for a
# host and a KestIni built with the platform's compiler.
#
# There is no Windows SDK here: the MinGW-w64 headers stand in for it. Without __GNUC__ they
# define __attribute__ away, which breaks clang's own intrinsic headers, so clang announces
# itself as GCC-compatible (-fgnuc-version); name decoration, layout and calling convention
# stay those of the MSVC target. Nor is there a C runtime: programs name their entry point and
# link with /nodefaultlib against import libraries made from .def files.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

find_program(KEST_CLANG NAMES clang clang-16 clang-15 clang-14 REQUIRED)
find_program(KEST_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14 REQUIRED)
set(CMAKE_C_COMPILER ${KEST_CLANG})
set(CMAKE_CXX_COMPILER ${KEST_CLANGXX})
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
# Without a runtime, test programs cannot link: the compiler checks compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(KEST_MINGW_HEADERS /usr/x86_64-w64-mingw32/include)
set(CMAKE_C_FLAGS_INIT "-fgnuc-version=12 -isystem ${KEST_MINGW_HEADERS}")
set(CMAKE_CXX_FLAGS_INIT "-fgnuc-version=12 -isystem ${KEST_MINGW_HEADERS}")
# The SDK's kernel32.lib, user32.lib, ... that CMake would link do not exist here.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "")
