# What `cmake --install` puts where: the header in include/, the library where
# the platform looks for it (the DLL in bin/ with its import library in lib/;
# the versioned .so and its links in lib/), quellot-call in bin/, a CMake
# package giving quellot::quellot and a pkg-config file. Both packages find
# the tree relative to themselves, so an installed tree may be moved.
include(CMakePackageConfigHelpers)

install(TARGETS quellot EXPORT quellotTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES src/quellot.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS quellot-call RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/quellot)
install(EXPORT quellotTargets NAMESPACE quellot:: DESTINATION ${package_dir})
configure_package_config_file(cmake/quellotConfig.cmake.in
  ${CMAKE_BINARY_DIR}/quellotConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/quellotConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/quellotConfig.cmake ${CMAKE_BINARY_DIR}/quellotConfigVersion.cmake
  DESTINATION ${package_dir})

set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH QUELLOT_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${pkgconfig_dir} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QUELLOT_PC_TO_PREFIX "${QUELLOT_PC_TO_PREFIX}")
configure_file(cmake/quellot.pc.in ${CMAKE_BINARY_DIR}/quellot.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/quellot.pc DESTINATION ${pkgconfig_dir})
