# Installation: libraries, headers under include/dirira/, a CMake package
# (find_package(dirira CONFIG) -> dirira::dirira) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS win32 afx zirdib zircim zirime dirira EXPORT dirira-targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

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
