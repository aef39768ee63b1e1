# Sets DATABASE_INTERFACE_SQLITE_TARGET, the SQLite that the store and our tests link, as
# DATABASE_INTERFACE_SQLITE asks:
#   system   the build machine's (or the host's) SQLite through FindSQLite3;
#            a host that builds its own points SQLite3_INCLUDE_DIR and
#            SQLite3_LIBRARY at it.
#   bundled  the amalgamation in third_party/sqlite, compiled into the store
#            with its symbols hidden, for systems that have no SQLite to link;
#            DATABASE_INTERFACE_SQLITE_DEFINES adds compile definitions of the host's own
#            (SQLITE_DEFAULT_SYNCHRONOUS=3 for durability, say).
# dbi always builds its own copy of the amalgamation (tools/dbi), through
# database_interface_add_sqlite below, with DATABASE_INTERFACE_SQLITE_DEFINES too.

# The store opens its connection in serialized mode, so the library must be
# built thread-safe. The rest are the options SQLite recommends for a copy
# that one program embeds (features the store never uses left out, double
# quotes for identifiers only; the progress callback stays, as the store
# bounds each call's work with it), plus: deleted rows are overwritten in
# the file, a file SQLite creates (a journal among them) is owner-only, and
# temporary files are kept in memory: an Android app's sandbox has no
# temporary folder SQLite finds (SQLITE_IOERR_GETTEMPPATH on the first
# statement that spills), and the store's statements spill next to nothing.
#
# A store file may come from a stranger, and SQLite parses and runs its schema
# inside the host, on whatever thread calls Init (1 MiB of stack is usual on
# phones). So the limits SQLite advises for untrusted schemas are kept where
# the store's own statements, none of which comes near them, lose nothing:
#   SQLITE_MAX_EXPR_DEPTH=1000, SQLite's default: each level of an expression
#     is a level of recursion when the schema is loaded, and with no limit a
#     CHECK 30,000 levels deep overflows a 1 MiB stack. A schema entry deeper
#     than 1,000 makes the file's schema malformed, and Init answers -1. A
#     CHECK 999 deep loads within 128 KiB, so 1,000 leaves the small stacks
#     their margin.
#   SQLITE_TRUSTED_SCHEMA=0: functions with side effects and virtual tables
#     not marked innocuous (dbi's sqlite_dbpage) cannot be reached from a
#     file's triggers, views or CHECKs; the store's schema calls no function.
#   SQLITE_MAX_TRIGGER_DEPTH=10: the store's own cascades are one deep; a
#     planted chain of triggers stops there instead of running 1,000 deep.
#     (No limit of SQLite's bounds a chain across schema entries while it is
#     compiled: views over views, triggers or cascades a few thousand deep
#     overflow a 1 MiB stack with any SQLite.)
#   SQLITE_MAX_LIKE_PATTERN_LENGTH=50: the store has no LIKE; a planted one
#     with a long pattern costs time out of all proportion to the file.
# Left at SQLite's: the limits on values, statement texts and columns (a
# file's texts cost memory in proportion to its size, and the host's values
# are the host's), on parameters and attached files (a schema holds neither),
# and on compound selects (a 500-term one, the most SQLite takes, loads on a
# 1 MiB stack). SQLITE_DBCONFIG_DEFENSIVE is a setting of the connection,
# which stays SQLite's; it guards against SQL that writes the schema or raw
# pages, which the store never runs and a file's triggers cannot reach here
# (no writable schema, no page table, no shadow tables), while dbi's recovery
# writes its scratch schema on purpose.
set(DATABASE_INTERFACE_BUNDLED_SQLITE_OPTIONS
  SQLITE_THREADSAFE=1
  SQLITE_DQS=0
  SQLITE_DEFAULT_MEMSTATUS=0
  SQLITE_DEFAULT_WAL_SYNCHRONOUS=1
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_EXPR_DEPTH=1000
  SQLITE_TRUSTED_SCHEMA=0
  SQLITE_MAX_TRIGGER_DEPTH=10
  SQLITE_MAX_LIKE_PATTERN_LENGTH=50
  SQLITE_OMIT_DECLTYPE
  SQLITE_OMIT_DEPRECATED
  SQLITE_OMIT_SHARED_CACHE
  SQLITE_OMIT_LOAD_EXTENSION
  SQLITE_USE_ALLOCA
  SQLITE_SECURE_DELETE
  SQLITE_DEFAULT_FILE_PERMISSIONS=0600
  SQLITE_TEMP_STORE=3)

# What a compiled copy links, and with it the store that carries one.
if(DATABASE_INTERFACE_SQLITE STREQUAL "bundled" OR DATABASE_INTERFACE_BUILD_TOOLS)
  enable_language(C)
  find_package(Threads REQUIRED)
  set(DATABASE_INTERFACE_SQLITE_LIBS Threads::Threads $<$<BOOL:${UNIX}>:m>)
endif()
# RETURNING, used by the three inserts that hand back their new id, came
# with SQLite 3.35; 3.35.2 is the oldest release the suite runs on.
set(DATABASE_INTERFACE_SQLITE_MINIMUM 3.35.2)

# The amalgamation the store's bundled copy compiles: ours, or another
# release's (the version matrix runs the suite on the oldest and newest,
# brought by scripts/fetch-sqlite). dbi's copy is always ours, since the
# recovery extension beside it belongs to that release.
set(DATABASE_INTERFACE_SQLITE_SOURCE_DIR "${PROJECT_SOURCE_DIR}/third_party/sqlite" CACHE PATH
  "Folder of the sqlite3.c and sqlite3.h that DATABASE_INTERFACE_SQLITE=bundled compiles")

# The prefix every external name of a copy we compile gets, so that a host
# linking its own SQLite beside a static store, in any order, keeps each copy
# serving its own caller. The same for every copy, so that the store's objects
# compiled against one copy's header link with another (dbi's).
set(DATABASE_INTERFACE_SQLITE_PREFIX "database_interface_")

# database_interface_sqlite_names(<out> <file>...): every name the files give
# outside their own translation unit: a declaration or definition marked
# SQLITE_API, or one of a function that is not static at the start of a line. Read from the files
# themselves, so that the list follows whichever amalgamation is compiled.
function(database_interface_sqlite_names out)
  set(names)
  foreach(file IN LISTS ARGN)
    file(STRINGS "${file}" lines
      REGEX "^(SQLITE_API [^(;]*|[a-z][a-z0-9_ ]*[ *])sqlite3_[A-Za-z0-9_]+ *[([;]")
    foreach(line IN LISTS lines)
      if(line MATCHES "^(static|typedef|struct) ")
        continue()
      endif()
      string(REGEX MATCH "sqlite3_[A-Za-z0-9_]+ *[([;]" name "${line}")
      string(REGEX REPLACE " *[([;]$" "" name "${name}")
      list(APPEND names "${name}")
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(SORT names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# database_interface_add_sqlite(<target> [SOURCE_DIR <folder>] [FOR_SIZE <bool>]
#                         [SOURCES <file>...] [WITH <option>...] [WITHOUT <option>...]):
# the amalgamation in SOURCE_DIR (ours by default), and the SOURCES beside it,
# as objects with hidden symbols (a target that links them directly takes
# them in, and the store's library carries them), compiled with
# DATABASE_INTERFACE_BUNDLED_SQLITE_OPTIONS, less the WITHOUT ones, plus the WITH ones, and
# with -Os if FOR_SIZE is true.
# With DATABASE_INTERFACE_SQLITE=bundled its external names carry DATABASE_INTERFACE_SQLITE_PREFIX, through
# one generated header of #defines: its users include "sqlite3.h" and get the
# amalgamation's header behind it, and each C file is compiled through a file
# that includes the list first. With DATABASE_INTERFACE_SQLITE=system the store's objects
# call SQLite by its own names, and so does dbi's copy, which they link.
function(database_interface_add_sqlite target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SOURCE_DIR;FOR_SIZE" "SOURCES;WITH;WITHOUT")
  if(NOT arg_SOURCE_DIR)
    set(arg_SOURCE_DIR "${PROJECT_SOURCE_DIR}/third_party/sqlite")
  endif()
  set(options ${DATABASE_INTERFACE_BUNDLED_SQLITE_OPTIONS})
  if(arg_WITHOUT)
    list(REMOVE_ITEM options ${arg_WITHOUT})
  endif()
  set(sources "${arg_SOURCE_DIR}/sqlite3.c" ${arg_SOURCES})
  set(headers "${CMAKE_CURRENT_BINARY_DIR}/${target}_include")
  set(public_headers "${arg_SOURCE_DIR}/sqlite3.h")
  foreach(source IN LISTS arg_SOURCES)
    get_filename_component(stem "${source}" NAME_WE)
    get_filename_component(folder "${source}" DIRECTORY)
    if(EXISTS "${folder}/${stem}.h")
      list(APPEND public_headers "${folder}/${stem}.h")
    endif()
  endforeach()
  set(first "")
  if(DATABASE_INTERFACE_SQLITE STREQUAL "bundled")
    # The amalgamation itself, not only its header: some of its SQLITE_API
    # names (Windows' text conversions) are declared in it alone.
    database_interface_sqlite_names(names ${sources} ${public_headers})
    set(defines "/* Made by CMake from ${target}'s sources: the names it gives others. */\n")
    foreach(name IN LISTS names)
      string(APPEND defines "#define ${name} ${DATABASE_INTERFACE_SQLITE_PREFIX}${name}\n")
    endforeach()
    file(CONFIGURE OUTPUT "${headers}/sqlite3_names.h" CONTENT "${defines}")
    set(first "#include \"sqlite3_names.h\"\n")
  endif()
  foreach(header IN LISTS public_headers)
    get_filename_component(name "${header}" NAME)
    file(CONFIGURE OUTPUT "${headers}/${name}" CONTENT "${first}#include \"${header}\"\n")
  endforeach()
  if(DATABASE_INTERFACE_SQLITE STREQUAL "bundled")
    set(compiled)
    foreach(source IN LISTS sources)
      get_filename_component(name "${source}" NAME)
      file(CONFIGURE OUTPUT "${headers}/renamed_${name}"
        CONTENT "#include \"sqlite3_names.h\"\n#include \"${source}\"\n")
      list(APPEND compiled "${headers}/renamed_${name}")
    endforeach()
    set(sources ${compiled})
  endif()
  add_library(${target} OBJECT ${sources})
  set_target_properties(${target} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    C_VISIBILITY_PRESET hidden)
  target_compile_definitions(${target} PRIVATE ${options} ${arg_WITH})
  # Each function and datum in a section of its own lets a link with
  # --gc-sections drop what the store never reaches.
  if(NOT MSVC)
    target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections
      $<$<BOOL:${arg_FOR_SIZE}>:-Os>)
  endif()
  # A system header to its users, as an installed SQLite's is: its macros
  # (SQLITE_STATIC's C cast among them) are not ours to warn about.
  target_include_directories(${target} SYSTEM
    PUBLIC "$<BUILD_INTERFACE:${headers}>"
    PRIVATE "${arg_SOURCE_DIR}")
  target_link_libraries(${target} PUBLIC ${DATABASE_INTERFACE_SQLITE_LIBS})
endfunction()

if(DATABASE_INTERFACE_SQLITE STREQUAL "system")
  if(DATABASE_INTERFACE_SQLITE_DEFINES)
    message(WARNING "DATABASE_INTERFACE_SQLITE_DEFINES reaches only the SQLite copies this project compiles "
      "(bundled, and dbi's); the store's system SQLite is used as it was built")
  endif()
  find_package(SQLite3 ${DATABASE_INTERFACE_SQLITE_MINIMUM} REQUIRED)
  set(DATABASE_INTERFACE_SQLITE_TARGET SQLite::SQLite3)
else()
  # The store's own copy also leaves out what its plain SQL never calls for
  # (JSON, date and time functions, sqlite3_deserialize), which dbi's copy,
  # made to read and salvage any file, keeps: bytes an app need not carry.
  database_interface_add_sqlite(database_interface_sqlite SOURCE_DIR "${DATABASE_INTERFACE_SQLITE_SOURCE_DIR}"
    FOR_SIZE ${DATABASE_INTERFACE_SQLITE_FOR_SIZE} WITH SQLITE_OMIT_JSON SQLITE_OMIT_DATETIME_FUNCS SQLITE_OMIT_DESERIALIZE ${DATABASE_INTERFACE_SQLITE_DEFINES})
  set(DATABASE_INTERFACE_SQLITE_TARGET database_interface_sqlite)
endif()
