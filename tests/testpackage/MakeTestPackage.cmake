# cmake -P script behind the test-package target: lays out the test package in a staging folder
# and zips it as KestMakePackage.cmake zips the package (entries in byte order, each dated the
# source time, no extra fields).
#   KEST_CONTENTS           what to pack (program|, file|, data| lines; tests/testpackage/CMakeLists.txt)
#   KEST_BIN_DIR            the build tree's bin/, where the data| paths start
#   KEST_TEST_PACKAGE_NAME  the ZIP's name and top folder
#   KEST_PACKAGE_FILES_DIR  where run-tests.cmd and README.txt are
#   KEST_OUTPUT_DIR         where <KEST_TEST_PACKAGE_NAME>.zip goes (the staging folder beside it)
#   KEST_STRIP, KEST_ZIP, KEST_SOURCE_DIR, KEST_GIT
cmake_minimum_required(VERSION 3.25)
include(${KEST_SOURCE_DIR}/cmake/KestSourceDate.cmake)
include(${KEST_SOURCE_DIR}/cmake/KestZipTree.cmake)

if(NOT KEST_ZIP)
  message(FATAL_ERROR "zip not found: the test package is made with Info-ZIP's zip (install Debian's zip, scripts/setup.sh)")
endif()
kest_source_date_epoch(epoch "${KEST_SOURCE_DIR}" "${KEST_GIT}")

set(staging_parent ${KEST_OUTPUT_DIR}/${KEST_TEST_PACKAGE_NAME}.staging)
set(staging ${staging_parent}/${KEST_TEST_PACKAGE_NAME})
set(archive ${KEST_OUTPUT_DIR}/${KEST_TEST_PACKAGE_NAME}.zip)
file(REMOVE_RECURSE ${staging_parent})
file(REMOVE ${archive})
file(MAKE_DIRECTORY ${staging})

file(STRINGS ${KEST_CONTENTS} lines)
# Programs share DLLs: each once.
list(REMOVE_DUPLICATES lines)
set(programs)
set(binaries)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^(program|file|data)\\|(.+)$")
    message(FATAL_ERROR "${KEST_CONTENTS}: not a line of the test package: ${line}")
  endif()
  set(kind ${CMAKE_MATCH_1})
  set(path ${CMAKE_MATCH_2})
  if(kind STREQUAL "data")
    set(source ${KEST_BIN_DIR}/${path})
    get_filename_component(folder ${staging}/${path} DIRECTORY)
  else()
    set(source ${path})
    set(folder ${staging})
    get_filename_component(name ${path} NAME)
    list(APPEND binaries ${name})
    if(kind STREQUAL "program")
      list(APPEND programs ${name})
    endif()
  endif()
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${source} is not built: build the tree first (cmake --build --preset mingw)")
  endif()
  file(COPY ${source} DESTINATION ${folder})
endforeach()
if(NOT programs)
  message(FATAL_ERROR "No GoogleTest program was registered for the test package")
endif()

# The build tree's binaries keep their debug information; the package need not.
list(REMOVE_DUPLICATES binaries)
foreach(binary IN LISTS binaries)
  execute_process(COMMAND ${KEST_STRIP} --strip-debug ${staging}/${binary} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "strip failed on ${binary}")
  endif()
endforeach()

# cmd reads batch files with Windows line ends (a label can be missed without them).
function(write_crlf destination text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination} "${text}")
endfunction()
list(JOIN programs "\n" program_list)
write_crlf(${staging}/tests.txt "${program_list}\n")
foreach(name run-tests.cmd README.txt)
  file(READ ${KEST_PACKAGE_FILES_DIR}/${name} text)
  write_crlf(${staging}/${name} "${text}")
endforeach()

kest_zip_tree(${archive} ${staging_parent} ${staging} ${epoch} count)
file(REMOVE_RECURSE ${staging_parent})
list(LENGTH programs program_count)
message(STATUS "Test package ${archive}: ${program_count} GoogleTest programs, ${count} files")
