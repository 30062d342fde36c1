# The installable package: cmake --install lays out bin/, lib/, lib/msvc/, include/,
# lib/cmake/Kest/, share/ and SHA256SUMS; the release-package target zips the same tree.
# Included once, after every shipped target exists.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
include(${KEST_CMAKE_DIR}/KestMsvcImportLibraries.cmake)

kest_add_version_resource(kesttool "Kest host tool")

set(KEST_PACKAGE_LIBRARIES KestLog KestErr KestCommon KestMyCert)
set(KEST_PACKAGE_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kest)

# DLLs with their import libraries (MinGW-w64 in lib/, Visual Studio in lib/msvc/) and their
# public headers, flat; the KestIni declarations, whose header set KestIniImports carries. The
# private headers are how the libraries are written, not their interface: no header set of
# theirs is installed.
install(TARGETS ${KEST_PACKAGE_LIBRARIES} EXPORT KestTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS KestIniImports FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# What each DLL imports from KestIni.dll, which the package config defines by hand (Kest::KestIni
# is the installation's, not a target of ours), so that $<TARGET_RUNTIME_DLLS:host> names it.
foreach(library KestLog KestErr KestCommon)
  target_link_libraries(${library} INTERFACE $<INSTALL_INTERFACE:Kest::KestIni>)
endforeach()
install(EXPORT KestTargets NAMESPACE Kest:: DESTINATION ${KEST_PACKAGE_CONFIG_DIR})
# The .def files the DLLs' exports are fixed by.
foreach(library IN LISTS KEST_PACKAGE_LIBRARIES)
  get_target_property(sources ${library} SOURCES)
  get_target_property(source_dir ${library} SOURCE_DIR)
  list(FILTER sources INCLUDE REGEX "\\.def$")
  list(TRANSFORM sources PREPEND ${source_dir}/)
  install(FILES ${sources} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endforeach()

# KestMyCert imports KestCommon by ordinal only: the NONAME copy of KestCommon.def, and the
# import libraries made from it, bind a host the same way.
install(FILES ${PROJECT_BINARY_DIR}/KestCommon/KestCommonByOrdinal.def ${PROJECT_BINARY_DIR}/lib/libKestCommonByOrdinal.a
        DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${KEST_MSVC_IMPORT_LIBRARIES} DESTINATION ${CMAKE_INSTALL_LIBDIR}/msvc)

# KestIni: the declarations, the .def with the decorated names of any installation's
# KestIni.dll and its import libraries (lib/msvc/KestIni.lib above); the stand-in DLL only so
# that the package runs as it is (a real installation supplies its own KestIni.dll, so the
# stand-in's import library is not shipped).
install(TARGETS KestIni RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/KestIni.def ${PROJECT_BINARY_DIR}/lib/libKestIniImports.a
        DESTINATION ${CMAKE_INSTALL_LIBDIR})

install(TARGETS kesttool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Our error catalogue, to be copied into an installation directory beside KestEnv.ini.
install(FILES ${PROJECT_SOURCE_DIR}/KestErr/KestErr.csv DESTINATION ${CMAKE_INSTALL_DATADIR}/Kest)
install(FILES ${KEST_CMAKE_DIR}/KestPackageReadme.txt
        DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME README.txt)

configure_package_config_file(${KEST_CMAKE_DIR}/KestConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/KestConfig.cmake
                              INSTALL_DESTINATION ${KEST_PACKAGE_CONFIG_DIR}
                              PATH_VARS CMAKE_INSTALL_BINDIR CMAKE_INSTALL_LIBDIR CMAKE_INSTALL_INCLUDEDIR)
# The DLLs are 64-bit: the version file turns 32-bit consumers away.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KestConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KestConfig.cmake ${PROJECT_BINARY_DIR}/KestConfigVersion.cmake
        DESTINATION ${KEST_PACKAGE_CONFIG_DIR})

# Last of all (the tests, added later, install nothing): strip and stamp the binaries, sign them
# when a certificate is given, and write SHA256SUMS over what was installed
# (KestFinishInstall.cmake).
set(KEST_SIGNING_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file (code-signing certificate and key) that signs the shipped binaries at install; its password in the environment variable KEST_SIGNING_PASSWORD. Empty: unsigned")
find_program(KEST_OSSLSIGNCODE osslsigncode DOC "osslsigncode, which signs the shipped binaries")
find_program(KEST_ZIP zip DOC "Info-ZIP zip, which makes the package")
find_package(Git QUIET)
set(KEST_SHIPPED_BINARIES)
foreach(target IN LISTS KEST_PACKAGE_LIBRARIES ITEMS KestIni)
  list(APPEND KEST_SHIPPED_BINARIES ${CMAKE_INSTALL_BINDIR}/${target}.dll)
endforeach()
list(APPEND KEST_SHIPPED_BINARIES ${CMAKE_INSTALL_BINDIR}/kesttool.exe)
install(CODE "
set(KEST_FINISH_BINARIES [==[${KEST_SHIPPED_BINARIES}]==])
set(KEST_FINISH_STRIP [==[${CMAKE_STRIP}]==])
set(KEST_FINISH_PDB [==[${KEST_PDB}]==])
set(KEST_FINISH_SOURCE_DIR [==[${PROJECT_SOURCE_DIR}]==])
set(KEST_FINISH_GIT [==[${GIT_EXECUTABLE}]==])
set(KEST_FINISH_DESCRIPTION [==[${KEST_PRODUCT_NAME}]==])
if(NOT DEFINED KEST_SIGNING_PKCS12)
  set(KEST_SIGNING_PKCS12 [==[${KEST_SIGNING_PKCS12}]==])
endif()
if(NOT DEFINED KEST_OSSLSIGNCODE)
  set(KEST_OSSLSIGNCODE [==[${KEST_OSSLSIGNCODE}]==])
endif()
include([==[${KEST_CMAKE_DIR}/KestFinishInstall.cmake]==])
")

# The ZIP (cmake --build <build> --target release-package): the installed tree, zipped the
# same way every time (KestMakePackage.cmake). CPack's archives carry each file's access and
# change times, so two builds do not give the same ZIP; CPack is not used, and its target name
# "package" is left to it.
# With PDBs (clang and lld), the symbols ZIP beside it: the PDB of every shipped binary.
set(KEST_PACKAGE_NAME Kest-${PROJECT_VERSION}-win64)
set(KEST_SYMBOLS_ARGUMENTS "")
if(KEST_PDB)
  find_program(KEST_LLVM_PDBUTIL NAMES llvm-pdbutil llvm-pdbutil-16 llvm-pdbutil-15 llvm-pdbutil-14
               DOC "llvm-pdbutil, which reads the PDBs' GUIDs for the symbols package")
  set(KEST_SYMBOLS_NAMES ${KEST_PACKAGE_LIBRARIES} KestIni kesttool)
  list(JOIN KEST_SYMBOLS_NAMES "," symbols_names)
  set(KEST_SYMBOLS_ARGUMENTS -DKEST_SYMBOLS_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY} -DKEST_SYMBOLS_NAMES=${symbols_names}
                             -DKEST_LLVM_PDBUTIL=${KEST_LLVM_PDBUTIL})
endif()
add_custom_target(release-package
  COMMAND ${CMAKE_COMMAND} -DKEST_BUILD_DIR=${PROJECT_BINARY_DIR} -DKEST_SOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DKEST_GIT=${GIT_EXECUTABLE} -DKEST_ZIP=${KEST_ZIP} -DKEST_PACKAGE_NAME=${KEST_PACKAGE_NAME}
          ${KEST_SYMBOLS_ARGUMENTS} -DKEST_OUTPUT_DIR=${PROJECT_BINARY_DIR} -P ${KEST_CMAKE_DIR}/KestMakePackage.cmake
  COMMENT "Package ${KEST_PACKAGE_NAME}.zip and, with PDBs, ${KEST_PACKAGE_NAME}-symbols.zip"
  VERBATIM USES_TERMINAL)
add_dependencies(release-package ${KEST_PACKAGE_LIBRARIES} KestIni KestIniImports_generate KestCommonByOrdinal_generate
                 KestMsvcImportLibraries kesttool)
