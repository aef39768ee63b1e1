# Run by CPack before it builds the .deb: dpkg-shlibdeps takes the package's
# SQLite dependency from this file rather than from the SQLite functions the
# store calls, which are older than the RETURNING its statements need.
file(WRITE "${CPACK_TEMPORARY_DIRECTORY}/debian/shlibs.local"
  "libsqlite3 0 libsqlite3-0 (>= ${CPACK_DEBIAN_SQLITE_MINIMUM})\n")
