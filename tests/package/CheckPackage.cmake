# cmake -P script behind the package tests.
#   KEST_CHECK=installed: cmake --install to a fresh prefix, move it, compare the tree, look for the
#     version resource of every binary with objdump, then configure and build the consumer
#     project against the prefix with find_package and run it under Wine.
#   KEST_CHECK=zip: cpack -G ZIP and compare the archive's entries with the same tree.
cmake_minimum_required(VERSION 3.25)

set(expected_tree
    bin/KestCommon.dll
    bin/KestErr.dll
    bin/KestIni.dll
    bin/KestLog.dll
    bin/KestMyCert.dll
    bin/kesttool.exe
    include/KestCommon.h
    include/KestErr.h
    include/KestIni.h
    include/KestLog.h
    include/KestMyCert.h
    include/KestResult.h
    lib/KestCommon.def
    lib/KestCommonByOrdinal.def
    lib/KestErr.def
    lib/KestIni.def
    lib/KestLog.def
    lib/KestMyCert.def
    lib/cmake/Kest/KestConfig.cmake
    lib/cmake/Kest/KestConfigVersion.cmake
    lib/libKestCommon.dll.a
    lib/libKestErr.dll.a
    lib/libKestIniImports.a
    lib/libKestLog.dll.a
    lib/libKestMyCert.dll.a
    share/Kest/KestErr.csv
    share/doc/Kest/README.txt)
set(binaries bin/KestLog.dll bin/KestErr.dll bin/KestCommon.dll bin/KestMyCert.dll bin/KestIni.dll bin/kesttool.exe)

function(run_step description)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${description} failed (${result}):\n${output}")
  endif()
  set(step_output "${output}" PARENT_SCOPE)
endfunction()

function(expect_tree actual description)
  list(SORT actual)
  set(wanted ${expected_tree})
  list(SORT wanted)
  if(NOT actual STREQUAL wanted)
    set(missing ${wanted})
    list(REMOVE_ITEM missing ${actual})
    set(extra ${actual})
    list(REMOVE_ITEM extra ${wanted})
    message(FATAL_ERROR "${description} differs from the package layout.\n  missing: ${missing}\n  extra: ${extra}")
  endif()
  list(LENGTH actual count)
  message(STATUS "${description}: the ${count} files of the package layout")
endfunction()

# The test needs the package's targets built, as CTest runs after the build.
foreach(binary IN LISTS binaries)
  string(REPLACE "bin/" "${KEST_BUILD_DIR}/bin/" built ${binary})
  if(NOT EXISTS ${built})
    message(FATAL_ERROR "${built} is not built: build the tree before running the package tests")
  endif()
endforeach()

if(KEST_CHECK STREQUAL "installed")
  set(work_dir ${KEST_WORK_DIR}/installed)
  set(prefix ${work_dir}/prefix)
  file(REMOVE_RECURSE ${work_dir})

  # Installed in one place and used from another: the package config must be relocatable.
  set(install_prefix ${work_dir}/installed-elsewhere)
  run_step("cmake --install" ${CMAKE_COMMAND} --install ${KEST_BUILD_DIR} --prefix ${install_prefix})
  file(RENAME ${install_prefix} ${prefix})
  file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${prefix} ${prefix}/*)
  expect_tree("${installed}" "The installed tree")

  foreach(binary IN LISTS binaries)
    run_step("objdump -p ${binary}" ${KEST_OBJDUMP} -p ${prefix}/${binary})
    # A non-empty resource data directory whose type table (entries indented by three
    # spaces) holds type 0x10, RT_VERSION.
    if(NOT step_output MATCHES "Entry 2 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Resource Directory \\[\\.rsrc\\]")
      message(FATAL_ERROR "${binary} has no resource directory:\n${step_output}")
    endif()
    if(NOT step_output MATCHES "\n[0-9a-f]+   Entry: ID: 0x000010,")
      message(FATAL_ERROR "${binary} has no version resource:\n${step_output}")
    endif()
  endforeach()
  message(STATUS "objdump: every binary has a resource directory with a version resource")

  set(consumer_build ${work_dir}/consumer)
  run_step("Configuring the consumer"
           ${CMAKE_COMMAND} -S ${KEST_CONSUMER_SOURCE_DIR} -B ${consumer_build} -G ${KEST_GENERATOR}
           --toolchain ${KEST_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
           # The toolchain confines package search to the MinGW sysroot: name the package's folder.
           -DKest_DIR=${prefix}/lib/cmake/Kest)
  run_step("Building the consumer" ${CMAKE_COMMAND} --build ${consumer_build})

  # Run in the tests' own Wine prefix, not one beside the consumer.
  set(ENV{KEST_WINE_BUILD_DIR} ${KEST_BUILD_DIR})
  string(REPLACE "/" "\\" installed_bin_for_windows "Z:${prefix}/bin")
  run_step("Running the consumer under Wine" ${KEST_WINE_RUN} ${consumer_build}/consumer.exe ${installed_bin_for_windows})
  message(STATUS "The consumer under Wine:\n${step_output}")
elseif(KEST_CHECK STREQUAL "zip")
  set(work_dir ${KEST_WORK_DIR}/zip)
  file(REMOVE_RECURSE ${work_dir})
  # The package's file name as CPack makes it.
  include(${KEST_BUILD_DIR}/CPackConfig.cmake)
  # With a Makefile generator named, cpack first makes "preinstall", which builds all (every
  # test); Ninja has no such step, so cpack packs what is built, as cmake --install does.
  run_step("cpack" ${CMAKE_COMMAND} -E chdir ${KEST_BUILD_DIR}
           cpack --config ${KEST_BUILD_DIR}/CPackConfig.cmake -G ZIP -B ${work_dir}
           -D CPACK_CMAKE_GENERATOR=Ninja)
  set(archive ${work_dir}/${CPACK_PACKAGE_FILE_NAME}.zip)
  if(NOT EXISTS ${archive})
    message(FATAL_ERROR "cpack made no ${archive}:\n${step_output}")
  endif()
  run_step("Listing ${archive}" ${CMAKE_COMMAND} -E tar tf ${archive})
  string(REPLACE "\n" ";" entries "${step_output}")
  list(FILTER entries EXCLUDE REGEX "/$|^$")
  list(TRANSFORM entries REPLACE "^${CPACK_PACKAGE_FILE_NAME}/" "")
  expect_tree("${entries}" "${CPACK_PACKAGE_FILE_NAME}.zip")
else()
  message(FATAL_ERROR "KEST_CHECK must be installed or zip")
endif()
