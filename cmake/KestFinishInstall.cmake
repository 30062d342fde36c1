# The last step of every install (cmake --install, and so the package): the shipped binaries
# are stripped of their debug information and stamped with the source time, signed when a
# certificate is given, and SHA256SUMS is written over every installed file. Included by the
# install script with these set:
#   KEST_FINISH_BINARIES     installed binaries, relative to the prefix
#   KEST_FINISH_STRIP        strip of the toolchain
#   KEST_FINISH_SOURCE_DIR, KEST_FINISH_GIT  for the source time (KestSourceDate.cmake)
#   KEST_FINISH_DESCRIPTION  the signature's description
#   KEST_FINISH_PDB          the binaries have PDBs (clang and lld): GNU strip's flag that the debug
#                            information went to a .DBG file is cleared (clear-debug-stripped.pl)
# and, from the build tree's cache unless given when the install script is run by hand
#   cmake -DCMAKE_INSTALL_PREFIX=<dir> -DKEST_SIGNING_PKCS12=<file.p12> -P <build>/cmake_install.cmake
# KEST_SIGNING_PKCS12, the PKCS#12 file of the code-signing certificate and its key (empty:
# unsigned; its password comes from the environment variable KEST_SIGNING_PASSWORD), and
# KEST_OSSLSIGNCODE, the signing tool (empty when not found).

include(${CMAKE_CURRENT_LIST_DIR}/KestSourceDate.cmake)

set(kest_root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(NOT DEFINED KEST_SOURCE_DATE_EPOCH)
  kest_source_date_epoch(KEST_SOURCE_DATE_EPOCH "${KEST_FINISH_SOURCE_DIR}" "${KEST_FINISH_GIT}")
endif()

# strip writes the PE time stamp anew: from SOURCE_DATE_EPOCH when that is set.
set(ENV{SOURCE_DATE_EPOCH} ${KEST_SOURCE_DATE_EPOCH})
foreach(binary IN LISTS KEST_FINISH_BINARIES)
  execute_process(COMMAND "${KEST_FINISH_STRIP}" "${kest_root}/${binary}"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Stripping ${binary} failed (${result}):\n${output}")
  endif()
endforeach()
message(STATUS "Stripped, time stamp ${KEST_SOURCE_DATE_EPOCH}: ${KEST_FINISH_BINARIES}")
# With PDBs, the debug directory that names each binary's PDB is what a debugger must follow.
if(KEST_FINISH_PDB)
  set(paths "")
  foreach(binary IN LISTS KEST_FINISH_BINARIES)
    list(APPEND paths "${kest_root}/${binary}")
  endforeach()
  execute_process(COMMAND perl "${CMAKE_CURRENT_LIST_DIR}/clear-debug-stripped.pl" ${paths}
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Clearing the binaries' debug-stripped flag failed (${result}):\n${output}")
  endif()
endif()

if(NOT KEST_SIGNING_PKCS12 STREQUAL "")
  if(NOT EXISTS "${KEST_SIGNING_PKCS12}")
    message(FATAL_ERROR "Signing: the certificate file KEST_SIGNING_PKCS12=${KEST_SIGNING_PKCS12} does not exist")
  endif()
  if(NOT DEFINED ENV{KEST_SIGNING_PASSWORD})
    message(FATAL_ERROR "Signing: KEST_SIGNING_PKCS12 is set, but the environment variable KEST_SIGNING_PASSWORD "
                        "that holds its password is not")
  endif()
  if(NOT KEST_OSSLSIGNCODE)
    message(FATAL_ERROR "Signing: osslsigncode not found (install Debian's osslsigncode, scripts/setup.sh)")
  endif()
  foreach(binary IN LISTS KEST_FINISH_BINARIES)
    set(file "${kest_root}/${binary}")
    file(REMOVE "${file}.signed")
    # The password reaches osslsigncode through a pipe from the shell's printf (a builtin):
    # it is never an argument of any process, where others could read it.
    execute_process(
      COMMAND sh -c [[printf '%s' "$KEST_SIGNING_PASSWORD" | exec "$0" sign -pkcs12 "$1" -readpass /dev/stdin -h sha256 -n "$2" -in "$3" -out "$4"]]
              "${KEST_OSSLSIGNCODE}" "${KEST_SIGNING_PKCS12}" "${KEST_FINISH_DESCRIPTION}" "${file}" "${file}.signed"
      RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR NOT EXISTS "${file}.signed")
      file(REMOVE "${file}.signed")
      message(FATAL_ERROR "Signing ${binary} with ${KEST_SIGNING_PKCS12} failed (${result}):\n${output}")
    endif()
    file(RENAME "${file}.signed" "${file}")
  endforeach()
  message(STATUS "Signed with ${KEST_SIGNING_PKCS12}: ${KEST_FINISH_BINARIES}")
endif()

# Modes as install gives them, whatever the umask of the strip and the signing.
foreach(binary IN LISTS KEST_FINISH_BINARIES)
  file(CHMOD "${kest_root}/${binary}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                  WORLD_READ WORLD_EXECUTE)
endforeach()

# Every file this install wrote, in byte order of its path, as sha256sum -c reads them.
set(sums "")
set(paths "")
foreach(installed IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  foreach(root IN ITEMS "${kest_root}" "${CMAKE_INSTALL_PREFIX}")
    string(LENGTH "${root}/" length)
    string(SUBSTRING "${installed}" 0 ${length} head)
    if(head STREQUAL "${root}/")
      string(SUBSTRING "${installed}" ${length} -1 path)
      if(NOT path STREQUAL "SHA256SUMS")
        list(APPEND paths "${path}")
      endif()
      break()
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES paths)
list(SORT paths COMPARE STRING)
foreach(path IN LISTS paths)
  file(SHA256 "${kest_root}/${path}" hash)
  string(APPEND sums "${hash}  ${path}\n")
endforeach()
file(WRITE "${kest_root}/SHA256SUMS" "${sums}")
file(CHMOD "${kest_root}/SHA256SUMS" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${kest_root}/SHA256SUMS")
message(STATUS "Installing: ${kest_root}/SHA256SUMS")
