# Installation (DATABASE_INTERFACE_INSTALL): the store, the stand-in `base` when it is the
# one built, both headers, a CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

set(DATABASE_INTERFACE_INSTALLED_TARGETS database_interface)
if(NOT DATABASE_INTERFACE_BASE_TARGET)
  list(APPEND DATABASE_INTERFACE_INSTALLED_TARGETS database_interface_base)
endif()

install(TARGETS ${DATABASE_INTERFACE_INSTALLED_TARGETS}
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
if(NOT DATABASE_INTERFACE_BASE_TARGET)
  install(DIRECTORY platform/base/include/base DESTINATION ${DATABASE_INTERFACE_STAND_IN_INCLUDEDIR})
endif()

# What a static store's users link besides it, told to CMake users by the
# package config (before it loads the targets) and to pkg-config users: its
# SQLite, or the thread and math libraries of the bundled one inside it. In
# the .pc they are plain requirements, not private ones: the store installed
# is the static one, so its users' plain `pkg-config --libs` links them. A
# static store also carries the definition that makes its export macro empty.
set(DATABASE_INTERFACE_CONFIG_DEPENDENCIES "")
set(DATABASE_INTERFACE_PC_CFLAGS "")
set(DATABASE_INTERFACE_PC_REQUIRES "")
# The .pc names only libraries installed here: a host's own `base` is not,
# and its users add that library's flags (or its .pc) themselves.
if(DATABASE_INTERFACE_BASE_TARGET)
  set(DATABASE_INTERFACE_PC_LIBS "")
else()
  set(DATABASE_INTERFACE_PC_LIBS " -ldatabase_interface_base")
  set(DATABASE_INTERFACE_PC_CFLAGS " -I\${prefix}/${DATABASE_INTERFACE_STAND_IN_INCLUDEDIR}")
endif()
if(DATABASE_INTERFACE_STORE_KIND STREQUAL "STATIC")
  string(APPEND DATABASE_INTERFACE_PC_CFLAGS " -DDATABASE_INTERFACE_STATIC_DEFINE")
  if(DATABASE_INTERFACE_SQLITE STREQUAL "system")
    set(DATABASE_INTERFACE_CONFIG_DEPENDENCIES "find_dependency(SQLite3 ${DATABASE_INTERFACE_SQLITE_MINIMUM})")
    set(DATABASE_INTERFACE_PC_REQUIRES "Requires: sqlite3 >= ${DATABASE_INTERFACE_SQLITE_MINIMUM}")
  else()
    set(DATABASE_INTERFACE_CONFIG_DEPENDENCIES "find_dependency(Threads)")
    string(APPEND DATABASE_INTERFACE_PC_LIBS " -lpthread -lm")
  endif()
endif()

set(DATABASE_INTERFACE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/database_interface)
install(EXPORT database_interfaceTargets
  NAMESPACE database_interface::
  DESTINATION ${DATABASE_INTERFACE_CMAKE_DIR})
configure_package_config_file(cmake/database_interfaceConfig.cmake.in
  "${PROJECT_BINARY_DIR}/database_interfaceConfig.cmake"
  INSTALL_DESTINATION ${DATABASE_INTERFACE_CMAKE_DIR})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/database_interfaceConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/database_interfaceConfig.cmake"
  "${PROJECT_BINARY_DIR}/database_interfaceConfigVersion.cmake"
  DESTINATION ${DATABASE_INTERFACE_CMAKE_DIR})

# The same for builds that use pkg-config. The file finds its prefix from its
# own place, so it stays right under `cmake --install --prefix` and in the
# Debian package.
file(RELATIVE_PATH DATABASE_INTERFACE_PC_TO_PREFIX
  "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" DATABASE_INTERFACE_PC_TO_PREFIX "${DATABASE_INTERFACE_PC_TO_PREFIX}")
configure_file(cmake/database_interface.pc.in
  "${PROJECT_BINARY_DIR}/database_interface.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/database_interface.pc"
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
