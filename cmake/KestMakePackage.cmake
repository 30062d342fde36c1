# cmake -P script behind the release-package target: installs the build tree into a staging folder
# (stripped, stamped, signed when a certificate is given, with SHA256SUMS: KestFinishInstall.cmake)
# and zips it with the same bytes for the same commit: entries in byte order of their paths, each
# dated the source time (KestSourceDate.cmake), no extra fields (owner, access times).
#   KEST_BUILD_DIR, KEST_SOURCE_DIR, KEST_GIT, KEST_ZIP, KEST_PACKAGE_NAME
#   KEST_OUTPUT_DIR       where <KEST_PACKAGE_NAME>.zip goes (the staging folder beside it)
#   KEST_SIGNING_PKCS12, KEST_OSSLSIGNCODE   optional: override the build tree's certificate and
#                         signing tool for this package
#   KEST_SYMBOLS_DIR, KEST_SYMBOLS_NAMES, KEST_LLVM_PDBUTIL   optional: the symbols ZIP (below)
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

# The symbols package, <KEST_PACKAGE_NAME>-symbols.zip beside it, when the build writes PDBs
# (KEST_SYMBOLS_DIR, the build tree's folder of them; KEST_SYMBOLS_NAMES, the shipped binaries'
# base names, comma-separated; KEST_LLVM_PDBUTIL). Its folder pdb/ holds the PDBs as one plain
# folder (a symbol path of Visual Studio, WinDbg or _NT_SYMBOL_PATH), symstore/ the same PDBs in
# a symbol server's layout, <name>.pdb/<GUID><age>/<name>.pdb, and SHA256SUMS their hashes.
if(KEST_SYMBOLS_DIR)
  if(NOT KEST_LLVM_PDBUTIL)
    message(FATAL_ERROR "llvm-pdbutil not found: it reads the PDBs' GUIDs for the symbols package (install Debian's llvm, scripts/setup.sh)")
  endif()
  set(symbols_name ${KEST_PACKAGE_NAME}-symbols)
  set(symbols_parent ${KEST_OUTPUT_DIR}/${symbols_name}.staging)
  set(symbols ${symbols_parent}/${symbols_name})
  set(symbols_archive ${KEST_OUTPUT_DIR}/${symbols_name}.zip)
  file(REMOVE_RECURSE ${symbols_parent})
  file(REMOVE ${symbols_archive})
  string(REPLACE "," ";" names "${KEST_SYMBOLS_NAMES}")
  set(paths "")
  foreach(name IN LISTS names)
    set(pdb ${KEST_SYMBOLS_DIR}/${name}.pdb)
    execute_process(COMMAND ${KEST_LLVM_PDBUTIL} dump -summary ${pdb}
                    RESULT_VARIABLE result OUTPUT_VARIABLE summary ERROR_VARIABLE summary)
    if(NOT result EQUAL 0 OR NOT summary MATCHES "GUID: {([0-9A-F-]+)}" )
      message(FATAL_ERROR "llvm-pdbutil could not read ${pdb} (${result}):\n${summary}")
    endif()
    string(REPLACE "-" "" guid ${CMAKE_MATCH_1})
    if(NOT summary MATCHES "\n *Age: ([0-9]+)")
      message(FATAL_ERROR "llvm-pdbutil gave no age for ${pdb}:\n${summary}")
    endif()
    # The store's folder: the GUID's 32 hexadecimal digits, then the age in hexadecimal.
    math(EXPR age "${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
    string(REGEX REPLACE "^0x" "" age ${age})
    string(TOUPPER ${age} age)
    file(COPY ${pdb} DESTINATION ${symbols}/pdb)
    file(COPY ${pdb} DESTINATION ${symbols}/symstore/${name}.pdb/${guid}${age})
    list(APPEND paths pdb/${name}.pdb symstore/${name}.pdb/${guid}${age}/${name}.pdb)
  endforeach()
  list(SORT paths COMPARE STRING)
  set(sums "")
  foreach(path IN LISTS paths)
    file(CHMOD ${symbols}/${path} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    file(SHA256 ${symbols}/${path} hash)
    string(APPEND sums "${hash}  ${path}\n")
  endforeach()
  file(WRITE ${symbols}/SHA256SUMS "${sums}")
  kest_zip_tree(${symbols_archive} ${symbols_parent} ${symbols} ${epoch} count)
  file(SHA256 ${symbols_archive} hash)
  message(STATUS "Symbols ${symbols_archive}: ${count} files, SHA-256 ${hash}")
endif()
