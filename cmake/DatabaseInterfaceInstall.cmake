# Installation (DATABASE_INTERFACE_INSTALL): the store, the stand-in `base`
# when it is the one built, both headers, a CMake package, a pkg-config file
# and the README; and `make package`, the Debian package of all that.
include(CMakePackageConfigHelpers)

install(TARGETS database_interface ${stand_in} EXPORT database_interfaceTargets)
# The interface's header, and export.h and version.h generated beside it.
install(DIRECTORY include/database_interface "${PROJECT_BINARY_DIR}/include/database_interface"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# What the store's users compile and link with it, for the CMake package
# (config_dependencies) and the .pc, which names only libraries installed
# here (not a host's own `base`). A static store needs its SQLite, or the
# thread and math libraries of the bundled one inside it, and the definition
# that empties its export macro: in the .pc plain requirements, not private
# ones, so that the README's `pkg-config --libs` links them.
set(config_dependencies "")
set(pc_cflags "")
set(pc_libs "")
set(pc_requires "")
if(stand_in)
  install(DIRECTORY platform/base/include/base DESTINATION ${stand_in_includedir})
  set(pc_cflags " -I\${prefix}/${stand_in_includedir}")
  set(pc_libs " -ldatabase_interface_base")
endif()
if(store_kind STREQUAL "STATIC")
  string(APPEND pc_cflags " -DDATABASE_INTERFACE_STATIC_DEFINE")
  if(DATABASE_INTERFACE_SQLITE STREQUAL "system")
    set(config_dependencies "find_dependency(SQLite3 ${sqlite_minimum})")
    set(pc_requires "Requires: sqlite3 >= ${sqlite_minimum}")
  else()
    set(config_dependencies "find_dependency(Threads)")
    string(APPEND pc_libs " -lpthread -lm")
  endif()
endif()

set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/database_interface)
install(EXPORT database_interfaceTargets NAMESPACE database_interface:: DESTINATION ${cmake_dir})
configure_package_config_file(cmake/database_interfaceConfig.cmake.in
  "${PROJECT_BINARY_DIR}/database_interfaceConfig.cmake" INSTALL_DESTINATION ${cmake_dir})
write_basic_package_version_file("${PROJECT_BINARY_DIR}/database_interfaceConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/database_interfaceConfig.cmake"
  "${PROJECT_BINARY_DIR}/database_interfaceConfigVersion.cmake" DESTINATION ${cmake_dir})
# The .pc finds its prefix from its own place, so it stays right under
# `cmake --install --prefix` and in the Debian package.
file(RELATIVE_PATH pc_to_prefix "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
configure_file(cmake/database_interface.pc.in "${PROJECT_BINARY_DIR}/database_interface.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/database_interface.pc" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Debian package, under /usr. Built from a build configured for the
# prefix /usr (preset release), for which GNUInstallDirs picks Debian's
# multiarch library folder. Its run-time dependencies come from the binaries
# through dpkg-shlibdeps; the shlibs file and the ldconfig trigger make the
# libraries known to the system and to packages built on it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME database-interface)  # Debian names allow no underscore
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "database_interface maintainers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_SQLITE_MINIMUM ${sqlite_minimum})
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/DatabaseInterfaceShlibs.cmake")
include(CPack)
