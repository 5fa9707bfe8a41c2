# What an installed build gives C++ projects: a CMake package with exported targets, a
# pkg-config file, and the C++ plugin SDK header as an interface target.
include(CMakePackageConfigHelpers)

add_library(tarn_plugin_sdk INTERFACE)
target_include_directories(tarn_plugin_sdk INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/sdk/cpp>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/deradidezivizoda/sdk>)
set_target_properties(tarn_plugin_sdk PROPERTIES EXPORT_NAME plugin_sdk)
add_library(deradidezivizoda::plugin_sdk ALIAS tarn_plugin_sdk)
install(TARGETS tarn_plugin_sdk EXPORT deradidezivizodaTargets)

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/deradidezivizoda)
install(EXPORT deradidezivizodaTargets NAMESPACE deradidezivizoda:: DESTINATION ${package_dir}
  COMPONENT dev)
configure_package_config_file(cmake/deradidezivizodaConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/deradidezivizodaConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/deradidezivizodaConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/deradidezivizodaConfig.cmake
              ${CMAKE_BINARY_DIR}/package/deradidezivizodaConfigVersion.cmake
  DESTINATION ${package_dir} COMPONENT dev)

# The pkg-config file finds its folders from where it lies, so an install under any prefix
# works. The public headers call into the platform libraries too, so they are linked.
file(RELATIVE_PATH TARN_PC_LIBDIR_TO_INCLUDEDIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
  ${CMAKE_INSTALL_FULL_INCLUDEDIR})
get_property(platform_libraries GLOBAL PROPERTY TARN_PLATFORM_LIBRARIES)
list(TRANSFORM platform_libraries PREPEND "-l" OUTPUT_VARIABLE TARN_PC_PLATFORM_LIBS)
list(JOIN TARN_PC_PLATFORM_LIBS " " TARN_PC_PLATFORM_LIBS)
configure_file(cmake/deradidezivizoda.pc.in ${CMAKE_BINARY_DIR}/package/deradidezivizoda.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/deradidezivizoda.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
