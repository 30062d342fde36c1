# Import libraries for Visual Studio (MSVC-format .lib), made from the same .def files as the
# DLLs by llvm-dlltool, into lib/msvc/ of the build tree (and of the package).
#
#   KestLog.lib KestErr.lib KestCommon.lib KestMyCert.lib   by name
#   KestCommonByOrdinal.lib                                 KestCommon by ordinal, as KestMyCert binds it
#   KestIni.lib                                             the installation's KestIni.dll under the
#                                                           names its MSVC compiler decorated

find_program(KEST_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14
             DOC "llvm-dlltool, which makes the MSVC-format import libraries")
if(NOT KEST_LLVM_DLLTOOL)
  message(FATAL_ERROR "llvm-dlltool not found: it makes the package's Visual Studio import libraries "
                      "(install Debian's llvm, scripts/setup.sh, or set KEST_LLVM_DLLTOOL)")
endif()

set(KEST_MSVC_LIB_DIR ${PROJECT_BINARY_DIR}/lib/msvc)
file(MAKE_DIRECTORY ${KEST_MSVC_LIB_DIR})
set(KEST_MSVC_IMPORT_LIBRARIES "")

function(kest_msvc_import_library name def_file)
  set(output ${KEST_MSVC_LIB_DIR}/${name}.lib)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${KEST_LLVM_DLLTOOL} -m i386:x86-64 -d ${def_file} -l ${name}.lib
    WORKING_DIRECTORY ${KEST_MSVC_LIB_DIR}
    DEPENDS ${def_file}
    COMMENT "Visual Studio import library ${name}.lib"
    VERBATIM)
  set(KEST_MSVC_IMPORT_LIBRARIES ${KEST_MSVC_IMPORT_LIBRARIES} ${output} PARENT_SCOPE)
endfunction()

kest_msvc_import_library(KestLog ${PROJECT_SOURCE_DIR}/log/KestLog.def)
kest_msvc_import_library(KestErr ${PROJECT_SOURCE_DIR}/KestErr/KestErr.def)
kest_msvc_import_library(KestCommon ${PROJECT_SOURCE_DIR}/KestCommon/KestCommon.def)
kest_msvc_import_library(KestCommonByOrdinal ${PROJECT_BINARY_DIR}/KestCommon/KestCommonByOrdinal.def)
kest_msvc_import_library(KestMyCert ${PROJECT_SOURCE_DIR}/KestMyCert/KestMyCert.def)

# KestIni.def maps our C names to the decorated ones (local == decorated); an MSVC caller
# spells the decorated names itself, so its import library exports those alone.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/KestIni.def kest_ini_lines REGEX "==")
set(kest_ini_msvc_def "LIBRARY \"KestIni.dll\"\nEXPORTS\n")
foreach(line IN LISTS kest_ini_lines)
  string(REGEX REPLACE "^.*==[ \t]*([^ \t]+).*$" "\\1" decorated "${line}")
  string(APPEND kest_ini_msvc_def "    \"${decorated}\"\n")
endforeach()
# (Written at generation, and only when it changed; its @ signs are no variables.)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/include/KestIniMsvc.def CONTENT "${kest_ini_msvc_def}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/KestIni.def)
kest_msvc_import_library(KestIni ${PROJECT_BINARY_DIR}/include/KestIniMsvc.def)

add_custom_target(KestMsvcImportLibraries ALL DEPENDS ${KEST_MSVC_IMPORT_LIBRARIES})
