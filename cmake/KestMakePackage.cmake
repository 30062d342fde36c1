# cmake -P script behind the release-package target: installs the build tree into a staging folder
# (stripped, stamped, signed when a certificate is given, with SHA256SUMS: KestFinishInstall.cmake)
# and zips it with the same bytes for the same commit: entries in byte order of their paths, each
# dated the source time (KestSourceDate.cmake), no extra fields (owner, access times).
#   KEST_BUILD_DIR, KEST_SOURCE_DIR, KEST_GIT, KEST_ZIP, KEST_PACKAGE_NAME
#   KEST_OUTPUT_DIR       where <KEST_PACKAGE_NAME>.zip goes (the staging folder beside it)
#   KEST_SIGNING_PKCS12, KEST_OSSLSIGNCODE   optional: override the build tree's certificate and
#                         signing tool for this package
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/KestSourceDate.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/KestZipTree.cmake)

if(NOT KEST_ZIP)
  message(FATAL_ERROR "zip not found: the package is made with Info-ZIP's zip (install Debian's zip, scripts/setup.sh)")
endif()
kest_source_date_epoch(epoch "${KEST_SOURCE_DIR}" "${KEST_GIT}")

set(staging_parent ${KEST_OUTPUT_DIR}/${KEST_PACKAGE_NAME}.staging)
set(staging ${staging_parent}/${KEST_PACKAGE_NAME})
set(archive ${KEST_OUTPUT_DIR}/${KEST_PACKAGE_NAME}.zip)
file(REMOVE_RECURSE ${staging_parent})
file(REMOVE ${archive})

set(install_arguments -DCMAKE_INSTALL_PREFIX=${staging} -DKEST_SOURCE_DATE_EPOCH=${epoch})
foreach(variable KEST_SIGNING_PKCS12 KEST_OSSLSIGNCODE)
  if(DEFINED ${variable})
    list(APPEND install_arguments -D${variable}=${${variable}})
  endif()
endforeach()
unset(ENV{DESTDIR})
execute_process(COMMAND ${CMAKE_COMMAND} ${install_arguments} -P ${KEST_BUILD_DIR}/cmake_install.cmake
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "The package was not made: installing into ${staging} failed (the reason is above)")
endif()

kest_zip_tree(${archive} ${staging_parent} ${staging} ${epoch} count)
file(SHA256 ${archive} hash)
message(STATUS "Package ${archive}: ${count} files, SHA-256 ${hash}")
