# `make package`: one Debian package with everything the install rules put
# in place: both libraries, the headers, the CMake and pkg-config files, the
# programs and the README, under /usr. Built from a build configured for the
# prefix /usr (preset release), for which GNUInstallDirs picks Debian's
# multiarch library folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME database-interface)  # Debian names allow no underscore
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "database_interface maintainers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The run-time dependencies (libc, libstdc++, SQLite) come from the binaries
# themselves, through dpkg-shlibdeps; the shlibs file and the ldconfig
# trigger make the libraries known to the system and to packages built on it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_SQLITE_MINIMUM ${DATABASE_INTERFACE_SQLITE_MINIMUM})
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/DatabaseInterfaceShlibs.cmake")

include(CPack)
