# Installation: libraries, headers under include/dirira/, a CMake package
# (find_package(dirira CONFIG) -> dirira::dirira) and a pkg-config file.
include(CMakePackageConfigHelpers)

# Every installed library names its major version in its soname, so that a
# program built against this release keeps loading it when an incompatible
# one is installed beside it.
if(NOT WIN32)
  set_target_properties(win32 afx zirdib zircim zirime PROPERTIES VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

# The shared libraries themselves form the component `runtime`, which the
# Python package installs with its own files (setup.py); a plain install
# takes every component, link names and headers included.
install(TARGETS win32 afx zirdib zircim zirime dirira EXPORT dirira-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
# The reader of every header version with FITS input and output, where it
# is built (not for Windows, nor by the Python package's own build): a
# component of its own, since the Python package does not load it. It
# loads CFITSIO at run time, so a consumer needs neither its headers nor
# its library to build.
if(TARGET dirira_files)
  install(TARGETS dirira_files EXPORT dirira-targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT files NAMELINK_COMPONENT development)
  configure_file(cmake/dirira-files.pc.in ${PROJECT_BINARY_DIR}/dirira-files.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/dirira-files.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endif()

install(DIRECTORY include/dirira/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirira FILES_MATCHING PATTERN "*.h")
if(NOT WIN32)
  install(DIRECTORY platform/win32/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirira/platform
    FILES_MATCHING PATTERN "*.h")
endif()
install(DIRECTORY platform/afx/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirira/platform
  FILES_MATCHING PATTERN "*.h")
install(FILES bmpio/bmp.h bmpio/status.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirira/bmpio)
install(FILES image/image_api.h image/image.h image/progress.h image/stl_image.h image/vm_store.h
  image/fits_extension.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirira/image)
install(FILES module/resource.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirira/module)
install(FILES siblings/zirdib/dibapi.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dirira/siblings/zirdib)

set(DIRIRA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dirira)
install(EXPORT dirira-targets NAMESPACE dirira:: DESTINATION ${DIRIRA_CMAKE_DIR})
configure_package_config_file(cmake/dirira-config.cmake.in ${PROJECT_BINARY_DIR}/dirira-config.cmake
  INSTALL_DESTINATION ${DIRIRA_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/dirira-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/dirira-config.cmake ${PROJECT_BINARY_DIR}/dirira-config-version.cmake
  DESTINATION ${DIRIRA_CMAKE_DIR})

configure_file(cmake/dirira.pc.in ${PROJECT_BINARY_DIR}/dirira.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dirira.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
