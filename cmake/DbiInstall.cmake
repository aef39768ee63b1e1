# Installation (DBI_INSTALL): the store, the stand-in `base` when it is the
# one built, both headers, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

set(DBI_INSTALLED_TARGETS database_interface)
if(NOT DBI_BASE_TARGET)
  list(APPEND DBI_INSTALLED_TARGETS database_interface_base)
endif()

install(TARGETS ${DBI_INSTALLED_TARGETS}
  EXPORT database_interfaceTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/database_interface DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES
  "${PROJECT_BINARY_DIR}/include/database_interface/export.h"
  "${PROJECT_BINARY_DIR}/include/database_interface/version.h"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/database_interface)
if(NOT DBI_BASE_TARGET)
  install(DIRECTORY platform/base/include/base DESTINATION ${DBI_STAND_IN_INCLUDEDIR})
endif()

# What a static store's users link besides it, told to CMake users by the
# package config (before it loads the targets) and to pkg-config users: its
# SQLite, or the thread and math libraries of the bundled one inside it. In
# the .pc they are plain requirements, not private ones: the store installed
# is the static one, so its users' plain `pkg-config --libs` links them. A
# static store also carries the definition that makes its export macro empty.
set(DBI_CONFIG_DEPENDENCIES "")
set(DBI_PC_CFLAGS "")
set(DBI_PC_REQUIRES "")
# The .pc names only libraries installed here: a host's own `base` is not,
# and its users add that library's flags (or its .pc) themselves.
if(DBI_BASE_TARGET)
  set(DBI_PC_LIBS "")
else()
  set(DBI_PC_LIBS " -ldatabase_interface_base")
  set(DBI_PC_CFLAGS " -I\${prefix}/${DBI_STAND_IN_INCLUDEDIR}")
endif()
if(DBI_STORE_KIND STREQUAL "STATIC")
  string(APPEND DBI_PC_CFLAGS " -DDATABASE_INTERFACE_STATIC_DEFINE")
  if(DBI_SQLITE STREQUAL "system")
    set(DBI_CONFIG_DEPENDENCIES "find_dependency(SQLite3 ${DBI_SQLITE_MINIMUM})")
    set(DBI_PC_REQUIRES "Requires: sqlite3 >= ${DBI_SQLITE_MINIMUM}")
  else()
    set(DBI_CONFIG_DEPENDENCIES "find_dependency(Threads)")
    string(APPEND DBI_PC_LIBS " -lpthread -lm")
  endif()
endif()

set(DBI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/database_interface)
install(EXPORT database_interfaceTargets
  NAMESPACE database_interface::
  DESTINATION ${DBI_CMAKE_DIR})
configure_package_config_file(cmake/database_interfaceConfig.cmake.in
  "${PROJECT_BINARY_DIR}/database_interfaceConfig.cmake"
  INSTALL_DESTINATION ${DBI_CMAKE_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/database_interfaceConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/database_interfaceConfig.cmake"
  "${PROJECT_BINARY_DIR}/database_interfaceConfigVersion.cmake"
  DESTINATION ${DBI_CMAKE_DIR})

# The same for builds that use pkg-config. The file finds its prefix from its
# own place, so it stays right under `cmake --install --prefix` and in the
# Debian package.
file(RELATIVE_PATH DBI_PC_TO_PREFIX
  "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" DBI_PC_TO_PREFIX "${DBI_PC_TO_PREFIX}")
configure_file(cmake/database_interface.pc.in
  "${PROJECT_BINARY_DIR}/database_interface.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/database_interface.pc"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
