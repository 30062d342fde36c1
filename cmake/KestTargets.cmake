# Helpers shared by the libraries' build files.

# A DLL named exactly <name>.dll (MinGW would call it lib<name>.dll) whose exports are
# fixed by the given .def file.
function(kest_add_dll name)
  cmake_parse_arguments(ARG "" "DEF" "SOURCES" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES} ${ARG_DEF})
  set_target_properties(${name} PROPERTIES PREFIX "" IMPORT_PREFIX "lib" OUTPUT_NAME ${name})
  target_compile_definitions(${name} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
endfunction()

# An import library made by dlltool from a .def file, as an imported target. Used where the
# import table must hold names or ordinals that the compiler cannot spell.
function(kest_import_library target def_file dll_name)
  set(output ${CMAKE_BINARY_DIR}/lib/lib${target}.a)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${def_file} --dllname ${dll_name} --output-lib ${output}
    DEPENDS ${def_file}
    COMMENT "Import library ${target} for ${dll_name}"
    VERBATIM)
  add_custom_target(${target}_generate DEPENDS ${output})
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_generate)
  target_link_libraries(${target} INTERFACE ${output})
endfunction()
