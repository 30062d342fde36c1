# The installable package: cmake --install lays out bin/, lib/, include/, lib/cmake/Kest/
# and share/; CPack zips the same tree. Included once, after every target exists.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

kest_add_version_resource(kesttool "Kest host tool")

set(KEST_PACKAGE_LIBRARIES KestLog KestErr KestCommon KestMyCert)
set(KEST_PACKAGE_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kest)

# DLLs with their import libraries, and the .def files from which MSVC users make their own
# (lib /def:KestLog.def /machine:x64).
foreach(library IN LISTS KEST_PACKAGE_LIBRARIES)
  install(TARGETS ${library}
          RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  get_target_property(sources ${library} SOURCES)
  get_target_property(source_dir ${library} SOURCE_DIR)
  list(FILTER sources INCLUDE REGEX "\\.def$")
  list(TRANSFORM sources PREPEND ${source_dir}/)
  install(FILES ${sources} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endforeach()

# KestMyCert imports KestCommon by ordinal only: the NONAME copy of KestCommon.def is what
# binds a library the same way.
install(FILES ${PROJECT_BINARY_DIR}/KestCommon/KestCommonByOrdinal.def DESTINATION ${CMAKE_INSTALL_LIBDIR})

# KestIni: the declarations, the .def with the decorated names of any installation's
# KestIni.dll and its import library; the stand-in DLL only so that the package runs as it
# is (a real installation supplies its own KestIni.dll, so its import library is not shipped).
install(TARGETS KestIni RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/KestIni.def ${PROJECT_BINARY_DIR}/lib/libKestIniImports.a
        DESTINATION ${CMAKE_INSTALL_LIBDIR})

install(TARGETS kesttool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Public headers, flat: the header sets of the DLLs and of the KestIni declarations. The
# private headers (KestInternal) are how the libraries are written, not their interface.
foreach(target IN LISTS KEST_PACKAGE_LIBRARIES ITEMS KestIniImports)
  get_target_property(headers ${target} HEADER_SET)
  get_target_property(source_dir ${target} SOURCE_DIR)
  list(TRANSFORM headers PREPEND ${source_dir}/ REGEX "^[^/]")
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endforeach()

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

set(CPACK_PACKAGE_NAME Kest)
set(CPACK_PACKAGE_VENDOR Kest)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Kest support libraries: Windows x86-64 DLLs, import libraries, headers, CMake package")
set(CPACK_PACKAGE_FILE_NAME Kest-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP)
# The ZIP is for users: without debug information (the build tree keeps it).
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
