# What `cmake --install` puts where: the header in include/, the two libraries
# where the platform looks for them (a DLL in bin/ with its import library in
# lib/; a versioned .so and its links in lib/), quellot-call in bin/, a CMake
# package giving quellot::quellot and quellot::exact, and a pkg-config file
# for each library. The packages find the tree relative to themselves, so an
# installed tree may be moved.
include(CMakePackageConfigHelpers)

set_target_properties(quellot_exact PROPERTIES EXPORT_NAME exact)
install(TARGETS quellot quellot_exact EXPORT quellotTargets
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
foreach(pc quellot quellot-exact)
  if(pc STREQUAL "quellot")
    set(QUELLOT_PC_LIBRARY ${QUELLOT_OUTPUT_NAME})
    set(QUELLOT_PC_DESCRIPTION "Probes that print the floating-point arguments they receive, for checking FFIs")
  else()
    set(QUELLOT_PC_LIBRARY ${QUELLOT_EXACT_OUTPUT_NAME})
    set(QUELLOT_PC_DESCRIPTION "Probes that print the bit patterns of the floating-point arguments they receive")
  endif()
  configure_file(cmake/quellot.pc.in ${CMAKE_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${pc}.pc DESTINATION ${pkgconfig_dir})
endforeach()
