include(CMakePackageConfigHelpers)

get_property(vemra_targets GLOBAL PROPERTY VEMRA_INSTALLED_TARGETS)
install(TARGETS ${vemra_targets} EXPORT vemraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY karvel/include/karvel hollent/include/hollent include/vemra
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT vemraTargets NAMESPACE vemra:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vemra)

configure_package_config_file(cmake/vemraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/vemraConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vemra)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vemraConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vemraConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/vemraConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vemra)
