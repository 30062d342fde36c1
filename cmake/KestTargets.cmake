# Helpers shared by the libraries' build files.

# Version resources are compiled by windres (the toolchain's CMAKE_RC_COMPILER).
enable_language(RC)
set(KEST_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

# What Explorer's properties dialog shows for each binary.
set(KEST_PRODUCT_NAME "Kest support libraries")
set(KEST_FILE_DESCRIPTION_KestLog "Kest log writer")
set(KEST_FILE_DESCRIPTION_KestErr "Kest error display")
set(KEST_FILE_DESCRIPTION_KestCommon "Kest common utilities")
set(KEST_FILE_DESCRIPTION_KestMyCert "Kest signing certificates")
set(KEST_FILE_DESCRIPTION_KestIni "Kest installation settings service (stand-in)")

# A VERSIONINFO resource (description, product name, the project's version, file name)
# compiled into target.
function(kest_add_version_resource target description)
  get_target_property(type ${target} TYPE)
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(KEST_RC_FILE_TYPE VFT_APP)
    set(KEST_RC_ORIGINAL_FILENAME ${output_name}${CMAKE_EXECUTABLE_SUFFIX})
  else()
    set(KEST_RC_FILE_TYPE VFT_DLL)
    set(KEST_RC_ORIGINAL_FILENAME ${output_name}${CMAKE_SHARED_LIBRARY_SUFFIX})
  endif()
  set(KEST_RC_FILE_DESCRIPTION "${description}")
  set(KEST_RC_INTERNAL_NAME ${output_name})
  set(KEST_RC_PRODUCT_NAME "${KEST_PRODUCT_NAME}")
  set(rc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${KEST_CMAKE_DIR}/KestVersion.rc.in ${rc_file} @ONLY)
  target_sources(${target} PRIVATE ${rc_file})
endfunction()

# The flags of our own targets (the DLLs, the tool, the bench and the tests), never of
# googletest. Sources are UTF-8; the texts of the system are Shift_JIS (code page 932) in the
# binaries. -static: the posix-thread runtime would otherwise need libwinpthread-1.dll.
include(${KEST_CMAKE_DIR}/KestReproducible.cmake)
include(${KEST_CMAKE_DIR}/KestHardening.cmake)
add_library(KestBuildFlags INTERFACE)
target_link_libraries(KestBuildFlags INTERFACE KestReproducible KestRuntime)
# GCC converts the literals itself; clang's compiles go through clang-cp932.pl, which does the same
# (every C++ target of the tree, googletest's too: they hold no texts outside ASCII).
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(CMAKE_CXX_COMPILER_LAUNCHER ${KEST_CMAKE_DIR}/clang-cp932.pl ${CMAKE_CXX_COMPILER_LAUNCHER})
  set(kest_exec_charset "")
else()
  set(kest_exec_charset $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=CP932>)
endif()
target_compile_options(KestBuildFlags INTERFACE
  -finput-charset=UTF-8 ${kest_exec_charset}
  -Wall -Wextra $<$<BOOL:${KEST_WERROR}>:-Werror>)
target_link_options(KestBuildFlags INTERFACE -static -static-libgcc -static-libstdc++)
# Hardening, the default of both linkers, stated: ASLR with 64-bit addresses, no executable data.
target_link_options(KestBuildFlags INTERFACE -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
# clang and lld (the release build): a PDB beside every binary, <binary name>.pdb, which the
# binary's debug directory names by file name alone, with the PDB's GUID and age; the symbols
# package ships them (KestSymbols.cmake). The objects hold CodeView only, but MinGW-w64's runtime
# objects bring DWARF sections along: lld keeps those, and the install strips them.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(KEST_PDB ON)
  target_link_options(KestBuildFlags INTERFACE -Wl,--pdb= "LINKER:-Xlink=-pdbaltpath:%_PDB%" "LINKER:-Xlink=-pdbsourcepath:.")
else()
  set(KEST_PDB OFF)
endif()
# windows.h without the rarely used interfaces, and without the min and max macros that would
# hide std::min and std::max.
target_compile_definitions(KestBuildFlags INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)

# The DLLs' own: with KEST_TRAP_UB, undefined behaviour that the compiler can check becomes a
# trap instruction, so no sanitizer runtime is linked; under Wine the trap fails the test.
add_library(KestDllFlags INTERFACE)
if(KEST_TRAP_UB)
  target_compile_options(KestDllFlags INTERFACE -fsanitize=undefined -fsanitize-undefined-trap-on-error)
endif()

# A DLL named exactly <name>.dll (MinGW would call it lib<name>.dll) whose exports are
# fixed by the given .def file.
function(kest_add_dll name)
  cmake_parse_arguments(ARG "" "DEF" "SOURCES" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES} ${ARG_DEF})
  set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "lib" OUTPUT_NAME ${name})
  target_link_libraries(${name} PRIVATE KestBuildFlags KestDllFlags)
  if(KEST_PDB)
    # lld records its command line in the PDB. The .def goes by a copy in the build tree, named
    # relative to the folder the link runs in: a path that is the same wherever the build
    # folder is (a path to the source folder would climb out of it, into the machine's folders).
    if(CMAKE_GENERATOR MATCHES "Makefiles")
      set(link_dir ${CMAKE_CURRENT_BINARY_DIR})
    else()
      set(link_dir ${CMAKE_BINARY_DIR})
    endif()
    get_filename_component(def_name ${ARG_DEF} NAME)
    set(def_copy ${CMAKE_CURRENT_BINARY_DIR}/${def_name})
    configure_file(${ARG_DEF} ${def_copy} COPYONLY)
    file(RELATIVE_PATH def_path ${link_dir} ${def_copy})
    set_source_files_properties(${ARG_DEF} PROPERTIES HEADER_FILE_ONLY ON)
    target_link_options(${name} PRIVATE ${def_path})
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${def_copy})
  endif()
  if(DEFINED KEST_FILE_DESCRIPTION_${name})
    kest_add_version_resource(${name} "${KEST_FILE_DESCRIPTION_${name}}")
  else()
    kest_add_version_resource(${name} "Kest ${name}")
  endif()
endfunction()

# An import library made by dlltool from a .def file, as an imported target. Used where the
# import table must hold names or ordinals that the compiler cannot spell.
function(kest_import_library target def_file dll_name)
  set(output ${CMAKE_BINARY_DIR}/lib/lib${target}.a)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  # dlltool names the library's members and symbols after the output path as it is given:
  # a bare file name keeps the build folder out of the library.
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${def_file} --dllname ${dll_name} --output-lib lib${target}.a
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/lib
    DEPENDS ${def_file}
    COMMENT "Import library ${target} for ${dll_name}"
    VERBATIM)
  add_custom_target(${target}_generate DEPENDS ${output})
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_generate)
  target_link_libraries(${target} INTERFACE ${output})
endfunction()

# nlohmann/json (Debian's nlohmann-json3-dev), header-only, for the tool's JSON and the tests
# that read it. Its package names the build machine's /usr/include, which must not reach a
# MinGW-w64 compile (glibc's headers would shadow the target's): the one folder nlohmann/ is
# linked into the build tree, and KestJson gives that as its include path.
find_package(nlohmann_json 3 REQUIRED CONFIG NO_CMAKE_FIND_ROOT_PATH)
get_target_property(kest_json_include nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
list(GET kest_json_include 0 kest_json_include)
set(KEST_JSON_INCLUDE ${CMAKE_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${KEST_JSON_INCLUDE})
file(CREATE_LINK ${kest_json_include}/nlohmann ${KEST_JSON_INCLUDE}/nlohmann SYMBOLIC)
add_library(KestJson INTERFACE)
target_include_directories(KestJson SYSTEM INTERFACE ${KEST_JSON_INCLUDE})
