# Warnings are errors in our own code; third-party headers come in as system headers.
set(TARN_WARNINGS -Wall -Wextra -Werror)

# tarn_platform_library(<name> SOURCES ... DEPS ...)
# One stand-in for a closed host component: a shared library with its own headers under
# include/tarn/<component>/, installed beside the main library as on a real host.
function(tarn_platform_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${TARN_WARNINGS})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  # Hidden inline and template instances keep calls inside the library direct (no PLT).
  set_target_properties(${name} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
    VISIBILITY_INLINES_HIDDEN ON)
  install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endfunction()
