include(CMakePackageConfigHelpers)

# Installs lib/cmake/NAME, so that find_package(NAME) gives a host the
# targets installed with EXPORT NAME as NAME::target: the targets file,
# cmake/NAMEConfig.cmake.in and a version file by which a host asking for
# another major version, or building for another pointer size, is told that
# the package does not fit.
function(zerav_install_cmake_package name)
  set(destination lib/cmake/${name})
  install(EXPORT ${name} NAMESPACE ${name}:: FILE ${name}Targets.cmake DESTINATION ${destination})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/${name}Config.cmake.in
    ${PROJECT_BINARY_DIR}/${name}Config.cmake INSTALL_DESTINATION ${destination})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/${name}ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/${name}Config.cmake ${PROJECT_BINARY_DIR}/${name}ConfigVersion.cmake
    DESTINATION ${destination})
endfunction()
