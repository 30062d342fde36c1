# cmake -P script behind the package tests.
#   KEST_CHECK=installed: cmake --install to a fresh prefix, move it, compare the tree, look with
#     objdump for the version resource of every binary (and for what must not ship: debug
#     information, a signature nobody asked for, build paths), check SHA256SUMS, then configure
#     and build the consumer project against the prefix with find_package and run it under Wine.
#   KEST_CHECK=zip: the release-package target's script; the archive's entries against the same tree, in
#     byte order of their paths, each dated the source time, none with an extra field.
#   KEST_CHECK=signed: the package signed with a throwaway code-signing certificate made by
#     openssl: osslsigncode verify accepts every binary, the password never reaches a command
#     line, the signed DLLs load and work under Wine, and a wrong password fails the package.
cmake_minimum_required(VERSION 3.25)
include(${KEST_SOURCE_DIR}/cmake/KestSourceDate.cmake)

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
    lib/cmake/Kest/KestTargets-relwithdebinfo.cmake
    lib/cmake/Kest/KestTargets.cmake
    lib/libKestCommon.dll.a
    lib/libKestErr.dll.a
    lib/libKestIniImports.a
    lib/libKestLog.dll.a
    lib/libKestMyCert.dll.a
    lib/libKestCommonByOrdinal.a
    lib/msvc/KestCommon.lib
    lib/msvc/KestCommonByOrdinal.lib
    lib/msvc/KestErr.lib
    lib/msvc/KestIni.lib
    lib/msvc/KestLog.lib
    lib/msvc/KestMyCert.lib
    share/Kest/KestErr.csv
    share/doc/Kest/README.txt
    SHA256SUMS)
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

# SHA256SUMS lists every other file of the tree under root with its hash.
function(expect_sums root)
  file(STRINGS ${root}/SHA256SUMS lines)
  set(listed "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([0-9a-f]+)  (.+)$")
      message(FATAL_ERROR "SHA256SUMS: not a sha256sum line: ${line}")
    endif()
    set(path ${CMAKE_MATCH_2})
    set(hash ${CMAKE_MATCH_1})
    file(SHA256 ${root}/${path} actual)
    if(NOT hash STREQUAL actual)
      message(FATAL_ERROR "SHA256SUMS: ${path} is listed with ${hash}, the file has ${actual}")
    endif()
    list(APPEND listed ${path})
  endforeach()
  set(expected ${expected_tree})
  list(REMOVE_ITEM expected SHA256SUMS)
  list(SORT expected)
  if(NOT listed STREQUAL expected)
    message(FATAL_ERROR "SHA256SUMS lists\n  ${listed}\nnot every other file in byte order:\n  ${expected}")
  endif()
  message(STATUS "SHA256SUMS: the hashes of the other files, all right")
endfunction()

# The number held little-endian by `size` bytes from byte `at` of `hex` (file(READ ... HEX)).
function(little_endian hex at size out)
  set(digits "")
  math(EXPR last "${at} + ${size} - 1")
  foreach(byte RANGE ${at} ${last})
    math(EXPR position "${byte} * 2")
    string(SUBSTRING "${hex}" ${position} 2 pair)
    string(PREPEND digits ${pair})
  endforeach()
  math(EXPR value "0x${digits}")
  set(${out} ${value} PARENT_SCOPE)
endfunction()

# The header IDs of the fields in an extra field block of `length` bytes at `offset` of the
# archive, comma-separated: 0x5455 (Info-ZIP's UT times), 0x7875 (its Unix owner ids) ...
function(extra_field_ids archive offset length out)
  file(READ ${archive} block OFFSET ${offset} LIMIT ${length} HEX)
  set(ids "")
  set(at 0)
  while(at LESS length)
    little_endian(${block} ${at} 2 id)
    math(EXPR id "${id}" OUTPUT_FORMAT HEXADECIMAL)
    list(APPEND ids ${id})
    math(EXPR size_at "${at} + 2")
    little_endian(${block} ${size_at} 2 size)
    math(EXPR at "${at} + 4 + ${size}")
  endwhile()
  list(JOIN ids ", " ids)
  set(${out} "${ids}" PARENT_SCOPE)
endfunction()

# Every entry of the archive has an empty extra field, in the central directory and in its local
# header (the ZIP file format, APPNOTE.TXT 4.3.7 and 4.3.12): zip -X leaves out Info-ZIP's fields
# of file times and owner ids, which would differ between two builds of one commit.
function(expect_no_extra_fields archive)
  # The end of central directory record ends an archive without comment: 22 bytes.
  file(SIZE ${archive} size)
  math(EXPR end_record "${size} - 22")
  file(READ ${archive} record OFFSET ${end_record} LIMIT 22 HEX)
  if(NOT record MATCHES "^504b0506")
    message(FATAL_ERROR "${archive}: no end of central directory record in its last 22 bytes")
  endif()
  little_endian(${record} 10 2 count)
  little_endian(${record} 16 4 at)
  set(found "")
  foreach(entry RANGE 1 ${count})
    file(READ ${archive} header OFFSET ${at} LIMIT 46 HEX)
    if(NOT header MATCHES "^504b0102")
      message(FATAL_ERROR "${archive}: central directory header ${entry} of ${count} not found at ${at}")
    endif()
    little_endian(${header} 28 2 name_length)
    little_endian(${header} 30 2 extra_length)
    little_endian(${header} 32 2 comment_length)
    little_endian(${header} 42 4 local)
    math(EXPR name_at "${at} + 46")
    file(READ ${archive} name OFFSET ${name_at} LIMIT ${name_length})
    if(extra_length GREATER 0)
      math(EXPR extra_at "${name_at} + ${name_length}")
      extra_field_ids(${archive} ${extra_at} ${extra_length} ids)
      list(APPEND found "${name} (central directory): ${ids}")
    endif()
    file(READ ${archive} local_header OFFSET ${local} LIMIT 30 HEX)
    if(NOT local_header MATCHES "^504b0304")
      message(FATAL_ERROR "${archive}: no local header of ${name} at ${local}")
    endif()
    little_endian(${local_header} 26 2 local_name_length)
    little_endian(${local_header} 28 2 local_extra_length)
    if(local_extra_length GREATER 0)
      math(EXPR extra_at "${local} + 30 + ${local_name_length}")
      extra_field_ids(${archive} ${extra_at} ${local_extra_length} ids)
      list(APPEND found "${name} (local header): ${ids}")
    endif()
    math(EXPR at "${name_at} + ${name_length} + ${extra_length} + ${comment_length}")
  endforeach()
  if(found)
    list(JOIN found "\n  " found)
    message(FATAL_ERROR "${archive}: entries with extra fields (header IDs):\n  ${found}")
  endif()
  message(STATUS "${archive}: no extra field in any of its ${count} entries, central or local")
endfunction()

# Configures and builds the consumer project against the package in prefix with find_package,
# and runs it under Wine in the tests' own prefix.
function(run_consumer prefix consumer_build)
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
endfunction()

# What the release-package target runs, into output_dir; further arguments (-D...) go before -P.
# Sets step_output, and result to the script's exit status.
function(make_package output_dir)
  execute_process(COMMAND ${CMAKE_COMMAND} -DKEST_BUILD_DIR=${KEST_BUILD_DIR} -DKEST_SOURCE_DIR=${KEST_SOURCE_DIR}
                          -DKEST_GIT=${KEST_GIT} -DKEST_ZIP=${KEST_ZIP} -DKEST_PACKAGE_NAME=${KEST_PACKAGE_NAME}
                          -DKEST_OUTPUT_DIR=${output_dir} ${ARGN} -P ${KEST_SOURCE_DIR}/cmake/KestMakePackage.cmake
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(step_output "${output}" PARENT_SCOPE)
  set(result ${result} PARENT_SCOPE)
  if(NOT result EQUAL 0 AND NOT ALLOW_FAILURE)
    message(FATAL_ERROR "The package script failed (${result}):\n${output}")
  endif()
  if(result EQUAL 0 AND NOT EXISTS ${output_dir}/${KEST_PACKAGE_NAME}.zip)
    message(FATAL_ERROR "The package script made no ${KEST_PACKAGE_NAME}.zip:\n${output}")
  endif()
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
    # ASLR with 64-bit addresses, no executable data.
    foreach(characteristic HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT)
      if(NOT step_output MATCHES "DllCharacteristics[^\n]*\n([ \t]+[A-Z_]+\n)*[ \t]+${characteristic}\n")
        message(FATAL_ERROR "${binary} is not marked ${characteristic}:\n${step_output}")
      endif()
    endforeach()
    # Signed only when the build tree was given a certificate.
    if(KEST_SIGNING_PKCS12 STREQUAL "" AND NOT step_output MATCHES "Entry 4 0+ 0+ Security Directory")
      message(FATAL_ERROR "${binary} carries a signature, but no certificate was configured:\n${step_output}")
    endif()
    run_step("objdump -h ${binary}" ${KEST_OBJDUMP} -h ${prefix}/${binary})
    if(step_output MATCHES "\\.debug_")
      message(FATAL_ERROR "${binary} ships with debug information:\n${step_output}")
    endif()
    # The build tree's copy keeps its debug information: which must name no folder of this build.
    string(REPLACE "bin/" "${KEST_BUILD_DIR}/bin/" built ${binary})
    file(STRINGS ${built} paths REGEX "${KEST_SOURCE_DIR}|${KEST_BUILD_DIR}")
    if(paths)
      message(FATAL_ERROR "${built} holds build paths: ${paths}")
    endif()
  endforeach()
  message(STATUS "objdump: every binary has a resource directory with a version resource, ASLR with "
                 "high-entropy addresses and NX, no debug information, no signature unless configured, "
                 "and no build path")
  expect_sums(${prefix})

  run_consumer(${prefix} ${work_dir}/consumer)
elseif(KEST_CHECK STREQUAL "zip")
  set(work_dir ${KEST_WORK_DIR}/zip)
  file(REMOVE_RECURSE ${work_dir})
  make_package(${work_dir})
  set(archive ${work_dir}/${KEST_PACKAGE_NAME}.zip)
  run_step("Listing ${archive}" ${CMAKE_COMMAND} -E tar tf ${archive})
  string(REPLACE "\n" ";" entries "${step_output}")
  list(FILTER entries EXCLUDE REGEX "/$|^$")
  set(sorted ${entries})
  list(SORT sorted COMPARE STRING)
  if(NOT entries STREQUAL sorted)
    message(FATAL_ERROR "The archive's entries are not in byte order of their paths:\n  ${entries}")
  endif()
  list(TRANSFORM entries REPLACE "^${KEST_PACKAGE_NAME}/" "")
  expect_tree("${entries}" "${KEST_PACKAGE_NAME}.zip")

  # A ZIP entry holds its date in local time, to 2 seconds (zip rounds up): unpacked in UTC,
  # every file must carry the source time.
  kest_source_date_epoch(epoch "${KEST_SOURCE_DIR}" "${KEST_GIT}")
  math(EXPR epoch "${epoch} + ${epoch} % 2")
  set(ENV{TZ} UTC)
  file(MAKE_DIRECTORY ${work_dir}/unpacked)
  run_step("Unpacking ${archive}" ${CMAKE_COMMAND} -E chdir ${work_dir}/unpacked ${CMAKE_COMMAND} -E tar xf ${archive})
  foreach(entry IN LISTS entries)
    file(TIMESTAMP ${work_dir}/unpacked/${KEST_PACKAGE_NAME}/${entry} date "%s" UTC)
    if(NOT date EQUAL epoch)
      message(FATAL_ERROR "${entry} is dated ${date}, not the source time ${epoch}")
    endif()
  endforeach()
  message(STATUS "${KEST_PACKAGE_NAME}.zip: entries in byte order, each dated ${epoch}")
  expect_no_extra_fields(${archive})
elseif(KEST_CHECK STREQUAL "signed")
  set(work_dir ${KEST_WORK_DIR}/signed)
  file(REMOVE_RECURSE ${work_dir})
  file(MAKE_DIRECTORY ${work_dir})
  # A throwaway CA and a code-signing certificate it issued, made now; the PKCS#12 file's
  # password only ever in the environment.
  string(RANDOM LENGTH 24 password)
  set(ENV{KEST_SIGNING_PASSWORD} "${password}")
  file(WRITE ${work_dir}/signer.ext "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
  run_step("openssl: the throwaway CA" ${KEST_OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 2
           -subj "/CN=Kest Throwaway Test CA" -addext "basicConstraints=critical,CA:TRUE"
           -addext "keyUsage=critical,keyCertSign,cRLSign" -keyout ${work_dir}/ca.key -out ${work_dir}/ca.pem)
  run_step("openssl: the signer's request" ${KEST_OPENSSL} req -newkey rsa:2048 -nodes
           -subj "/CN=Kest Throwaway Code Signing" -keyout ${work_dir}/signer.key -out ${work_dir}/signer.csr)
  run_step("openssl: the signer's certificate" ${KEST_OPENSSL} x509 -req -in ${work_dir}/signer.csr -days 2
           -CA ${work_dir}/ca.pem -CAkey ${work_dir}/ca.key -set_serial 2 -extfile ${work_dir}/signer.ext
           -out ${work_dir}/signer.pem)
  run_step("openssl: the PKCS#12 file" ${KEST_OPENSSL} pkcs12 -export -inkey ${work_dir}/signer.key
           -in ${work_dir}/signer.pem -certfile ${work_dir}/ca.pem -passout env:KEST_SIGNING_PASSWORD
           -out ${work_dir}/signer.p12)

  # osslsigncode through a wrapper that writes down every argument it is given.
  set(arguments_log ${work_dir}/osslsigncode-arguments.txt)
  file(WRITE ${work_dir}/osslsigncode-wrapper.sh
       "#!/bin/sh\nfor argument in \"$@\"; do printf '%s\\n' \"$argument\" >>'${arguments_log}'; done\nexec '${KEST_OSSLSIGNCODE}' \"$@\"\n")
  file(CHMOD ${work_dir}/osslsigncode-wrapper.sh PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  make_package(${work_dir} -DKEST_SIGNING_PKCS12=${work_dir}/signer.p12
               -DKEST_OSSLSIGNCODE=${work_dir}/osslsigncode-wrapper.sh)
  set(package ${work_dir}/unpacked/${KEST_PACKAGE_NAME})
  file(MAKE_DIRECTORY ${work_dir}/unpacked)
  run_step("Unpacking" ${CMAKE_COMMAND} -E chdir ${work_dir}/unpacked ${CMAKE_COMMAND} -E tar xf
           ${work_dir}/${KEST_PACKAGE_NAME}.zip)

  file(READ ${arguments_log} arguments)
  string(FIND "${arguments}" "${password}" at)
  if(NOT at EQUAL -1 OR NOT arguments MATCHES "\n-readpass\n")
    message(FATAL_ERROR "osslsigncode was not handed the password through -readpass alone:\n${arguments}")
  endif()
  foreach(binary IN LISTS binaries)
    execute_process(COMMAND ${KEST_OSSLSIGNCODE} verify -CAfile ${work_dir}/ca.pem -in ${package}/${binary}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR NOT output MATCHES "Signature verification: ok"
       OR NOT output MATCHES "Subject: /CN=Kest Throwaway Code Signing")
      message(FATAL_ERROR "osslsigncode verify does not accept ${binary} as signed by the throwaway certificate:\n${output}")
    endif()
  endforeach()
  message(STATUS "osslsigncode verify: every binary signed by the throwaway certificate, issued by the "
                 "throwaway CA; the password never an argument")
  expect_sums(${package})

  # The signed binaries still load and work.
  run_consumer(${package} ${work_dir}/consumer)
  run_step("kesttool --help from the signed package" ${KEST_WINE_RUN} ${package}/bin/kesttool.exe --help)

  # A signing that fails fails the package, with osslsigncode's reason, and leaves no ZIP.
  set(ENV{KEST_SIGNING_PASSWORD} "not-${password}")
  set(ALLOW_FAILURE TRUE)
  make_package(${work_dir}/wrong-password -DKEST_SIGNING_PKCS12=${work_dir}/signer.p12)
  # (CMake wraps the lines of its messages: compared on one line.)
  string(REGEX REPLACE "[ \t\r\n]+" " " flat "${step_output}")
  if(result EQUAL 0 OR EXISTS ${work_dir}/wrong-password/${KEST_PACKAGE_NAME}.zip
     OR NOT flat MATCHES "Signing bin/KestLog\\.dll with [^ ]*/signer\\.p12 failed" OR NOT flat MATCHES "Wrong password")
    message(FATAL_ERROR "A wrong password did not fail the package with the reason (${result}):\n${step_output}")
  endif()
  message(STATUS "A wrong password fails the package step:\n${step_output}")
else()
  message(FATAL_ERROR "KEST_CHECK must be installed, zip or signed")
endif()
