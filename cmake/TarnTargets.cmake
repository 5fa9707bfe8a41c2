# Warnings are errors in our own code; third-party headers come in as system headers.
set(TARN_WARNINGS -Wall -Wextra -Werror)

# tarn_platform_library(<name> SOURCES ... DEPS ...)
# One stand-in for a closed host component: a shared library with its own headers under
# include/tarn/<component>/, installed beside the main library as on a real host. Its public
# headers enclose their declarations in TARN_PUBLIC_BEGIN/END (tarn/export.h). The list of
# platform libraries (global property TARN_PLATFORM_LIBRARIES) feeds the pkg-config file and
# the exported-symbols test.
function(tarn_platform_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  set_property(GLOBAL APPEND PROPERTY TARN_PLATFORM_LIBRARIES ${name})
  target_compile_options(${name} PRIVATE ${TARN_WARNINGS})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/platform/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  # The fixed paths are compiled in: installed consumers never need them.
  list(TRANSFORM ARG_DEPS REPLACE "^tarn_paths$" "$<BUILD_INTERFACE:tarn_paths>")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  tarn_library_hygiene(${name})
  set_target_properties(${name} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  install(TARGETS ${name} EXPORT deradidezivizodaTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT dev)
  install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
endfunction()

# What every shared library of the project exports: what its public headers mark (compiled
# with hidden visibility), narrowed to the names cmake/exports.map lists (the project's
# namespaces and the free functions of the public headers). Hidden inline and template
# instances keep calls inside the library direct (no PLT); the symbols of static libraries
# linked in stay inside; installed, a library finds its sibling libraries beside itself.
function(tarn_library_hygiene name)
  set_target_properties(${name} PROPERTIES C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON INSTALL_RPATH "$ORIGIN")
  target_link_options(${name} PRIVATE LINKER:--exclude-libs,ALL
    LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/exports.map)
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/exports.map)
endfunction()

# The path (below the host root) of one constant of the single list of fixed paths in
# cmake/paths.h.in, as written there (folders end in "/").
function(tarn_fixed_path name out)
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/paths.h.in line REGEX " ${name}\\[\\] = ")
  string(REGEX REPLACE ".*TARN_ROOT_DIR \"([^\"]*)\".*" "\\1" path "${line}")
  if(NOT path MATCHES "^/")
    message(FATAL_ERROR "cmake/paths.h.in defines no path ${name}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# Where a host file at path (below the root, under /usr) installs: the same place relative to
# the install prefix, so that a package built for the real host (TARN_ROOT=/, prefix /usr)
# puts it at its real path, and an install never writes into the compiled-in root itself.
function(tarn_install_destination path out)
  if(NOT path MATCHES "^/usr/")
    message(FATAL_ERROR "${path} is not below /usr: it has no place under the install prefix")
  endif()
  string(REGEX REPLACE "^/usr/" "" relative "${path}")
  string(REGEX REPLACE "/+$" "" relative "${relative}")
  set(${out} "${relative}" PARENT_SCOPE)
endfunction()
