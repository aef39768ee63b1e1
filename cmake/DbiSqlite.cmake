# Sets DBI_SQLITE_TARGET, the SQLite that the store, our tests and our tools
# link, as DBI_SQLITE asks:
#   system   the build machine's (or the host's) SQLite through FindSQLite3;
#            a host that builds its own points SQLite3_INCLUDE_DIR and
#            SQLite3_LIBRARY at it.
#   bundled  the amalgamation in third_party/sqlite, compiled into the store
#            with its symbols hidden, for systems that have no SQLite to link;
#            DBI_SQLITE_DEFINES adds compile definitions of the host's own
#            (SQLITE_DEFAULT_SYNCHRONOUS=3 for durability, say).

if(DBI_SQLITE STREQUAL "system")
  if(DBI_SQLITE_DEFINES)
    message(WARNING "DBI_SQLITE_DEFINES applies to the bundled SQLite only; the system's is "
      "used as it was built")
  endif()
  # RETURNING, used by the three inserts that hand back their new id, came
  # with SQLite 3.35.0.
  find_package(SQLite3 3.35.0 REQUIRED)
  set(DBI_SQLITE_TARGET SQLite::SQLite3)
  return()
endif()

enable_language(C)
find_package(Threads REQUIRED)

# The store opens its connection in serialized mode, so the library must be
# built thread-safe. The rest are the options SQLite recommends for a copy
# that one program embeds (features the store never uses left out, double
# quotes for identifiers only), plus: deleted rows are overwritten in the
# file, and a file SQLite creates (a journal among them) is owner-only.
set(DBI_BUNDLED_SQLITE_OPTIONS
  SQLITE_THREADSAFE=1
  SQLITE_DQS=0
  SQLITE_DEFAULT_MEMSTATUS=0
  SQLITE_DEFAULT_WAL_SYNCHRONOUS=1
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_EXPR_DEPTH=0
  SQLITE_OMIT_DECLTYPE
  SQLITE_OMIT_DEPRECATED
  SQLITE_OMIT_PROGRESS_CALLBACK
  SQLITE_OMIT_SHARED_CACHE
  SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_USE_ALLOCA
  SQLITE_SECURE_DELETE
  SQLITE_DEFAULT_FILE_PERMISSIONS=0600)

add_library(database_interface_sqlite STATIC "${PROJECT_SOURCE_DIR}/third_party/sqlite/sqlite3.c")
set_target_properties(database_interface_sqlite PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  C_VISIBILITY_PRESET hidden)
target_compile_definitions(database_interface_sqlite PRIVATE
  ${DBI_BUNDLED_SQLITE_OPTIONS} ${DBI_SQLITE_DEFINES})
# A system header to its users, as an installed SQLite's is: its macros
# (SQLITE_STATIC's C cast among them) are not ours to warn about.
target_include_directories(database_interface_sqlite SYSTEM
  PUBLIC "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/third_party/sqlite>")
target_link_libraries(database_interface_sqlite PRIVATE Threads::Threads)
if(UNIX)
  target_link_libraries(database_interface_sqlite PRIVATE m)
endif()
set(DBI_SQLITE_TARGET database_interface_sqlite)
