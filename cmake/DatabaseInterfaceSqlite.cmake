# Sets sqlite_target, the SQLite that the store and our tests link: the
# system's (or the host's: SQLite3_INCLUDE_DIR and SQLite3_LIBRARY), or the
# amalgamation in third_party/sqlite compiled into the store with its
# symbols hidden, with the host's DATABASE_INTERFACE_SQLITE_DEFINES. dbi
# always compiles its own copy (tools/dbi), with those definitions too.

# The options of every copy, with their reasons; third_party/sqlite/README.md
# tells at length why a stranger's schema is held to these limits. The
# progress callback stays compiled in: the store bounds each call's work with it.
set(sqlite_options
  SQLITE_THREADSAFE=1                   # the store's connection is serialized
  SQLITE_DQS=0                          # double quotes for identifiers only
  SQLITE_DEFAULT_MEMSTATUS=0            # SQLite's advice for a copy one program
  SQLITE_DEFAULT_WAL_SYNCHRONOUS=1      # embeds: less work per call, and
  SQLITE_LIKE_DOESNT_MATCH_BLOBS        # features the store never uses left out
  SQLITE_USE_ALLOCA
  SQLITE_OMIT_DECLTYPE
  SQLITE_OMIT_DEPRECATED
  SQLITE_OMIT_SHARED_CACHE
  SQLITE_OMIT_LOAD_EXTENSION            # no code from elsewhere enters the host
  SQLITE_SECURE_DELETE                  # deleted rows are overwritten in the file
  SQLITE_DEFAULT_FILE_PERMISSIONS=0600  # files SQLite makes are the owner's
  SQLITE_TEMP_STORE=3                   # temporary files in memory: an Android
                                        # app's sandbox has no temporary folder
                                        # SQLite finds (SQLITE_IOERR_GETTEMPPATH)
  SQLITE_MAX_EXPR_DEPTH=1000            # untrusted schemas: stack for a deep CHECK,
  SQLITE_TRUSTED_SCHEMA=0               # no function with side effects,
  SQLITE_MAX_TRIGGER_DEPTH=10           # no planted chain of triggers,
  SQLITE_MAX_LIKE_PATTERN_LENGTH=50)    # no LIKE costly out of proportion

# What a compiled copy links, and with it the store that carries one.
if(DATABASE_INTERFACE_SQLITE STREQUAL "bundled" OR DATABASE_INTERFACE_BUILD_TOOLS)
  enable_language(C)
  find_package(Threads REQUIRED)
  set(sqlite_libs Threads::Threads $<$<BOOL:${UNIX}>:m>)
endif()
# RETURNING, used by the three inserts that hand back their new id, came
# with SQLite 3.35; 3.35.2 is the oldest release the suite runs on.
set(sqlite_minimum 3.35.2)

# The store's bundled copy: ours, or another release's (the suite runs on the
# oldest and newest too). dbi's copy is always ours, with its recovery.
set(DATABASE_INTERFACE_SQLITE_SOURCE_DIR "${PROJECT_SOURCE_DIR}/third_party/sqlite" CACHE PATH
  "Folder of the sqlite3.c and sqlite3.h that DATABASE_INTERFACE_SQLITE=bundled compiles")

# database_interface_add_sqlite(<target> SOURCE_DIR <folder> [FOR_SIZE <bool>]
#   [SOURCES <file>...] [WITH <option>...] [WITHOUT <option>...]): the
# amalgamation in SOURCE_DIR, and the SOURCES beside it, as objects with
# hidden symbols, a section per function and datum (for --gc-sections), and
# sqlite_options with the host's defines, less WITHOUT plus WITH. With a bundled
# SQLite every external name gets the prefix database_interface_, from one
# generated header of #defines that its users' "sqlite3.h" and each of its C
# files include first: a host's own SQLite beside a static store, linked in
# any order, keeps serving the host alone; and the store's objects compiled
# against one renamed copy link with another (dbi's). With the system SQLite
# the store's objects call SQLite by its own names, and so does dbi's copy.
function(database_interface_add_sqlite target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SOURCE_DIR;FOR_SIZE" "SOURCES;WITH;WITHOUT")
  set(options ${sqlite_options} ${DATABASE_INTERFACE_SQLITE_DEFINES})
  if(arg_WITHOUT)
    list(REMOVE_ITEM options ${arg_WITHOUT})
  endif()
  set(sources "${arg_SOURCE_DIR}/sqlite3.c" ${arg_SOURCES})
  set(public_headers "${arg_SOURCE_DIR}/sqlite3.h")
  foreach(source IN LISTS arg_SOURCES)
    string(REGEX REPLACE "[.]c$" ".h" header "${source}")
    if(EXISTS "${header}")
      list(APPEND public_headers "${header}")
    endif()
  endforeach()
  set(headers "${CMAKE_CURRENT_BINARY_DIR}/${target}_include")
  set(first "")
  if(DATABASE_INTERFACE_SQLITE STREQUAL "bundled")
    # Every name the files give outside their own translation unit: one
    # declared or defined SQLITE_API, or a function not static at the start
    # of a line, read from the files themselves (some of the amalgamation's,
    # Windows' text conversions, are declared in it alone), so that the list
    # follows whichever release is compiled.
    set(defines "/* Made by CMake from ${target}'s sources: the names it gives others. */\n")
    set(names)
    foreach(file IN LISTS sources public_headers)
      file(STRINGS "${file}" lines
        REGEX "^(SQLITE_API [^(;]*|[a-z][a-z0-9_ ]*[ *])sqlite3_[A-Za-z0-9_]+ *[([;]")
      foreach(line IN LISTS lines)
        if(line MATCHES "^(static|typedef|struct) "
           OR NOT line MATCHES "(sqlite3_[A-Za-z0-9_]+) *[([;]" OR CMAKE_MATCH_1 IN_LIST names)
          continue()
        endif()
        list(APPEND names ${CMAKE_MATCH_1})
        string(APPEND defines "#define ${CMAKE_MATCH_1} database_interface_${CMAKE_MATCH_1}\n")
      endforeach()
    endforeach()
    file(CONFIGURE OUTPUT "${headers}/sqlite3_names.h" CONTENT "${defines}")
    set(first "#include \"sqlite3_names.h\"\n")
    set(compiled)
    foreach(source IN LISTS sources)
      get_filename_component(name "${source}" NAME)
      file(CONFIGURE OUTPUT "${headers}/renamed_${name}" CONTENT "${first}#include \"${source}\"\n")
      list(APPEND compiled "${headers}/renamed_${name}")
    endforeach()
    set(sources ${compiled})
  endif()
  foreach(header IN LISTS public_headers)
    get_filename_component(name "${header}" NAME)
    file(CONFIGURE OUTPUT "${headers}/${name}" CONTENT "${first}#include \"${header}\"\n")
  endforeach()
  add_library(${target} OBJECT ${sources})
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden)
  target_compile_definitions(${target} PRIVATE ${options} ${arg_WITH})
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections
    $<$<BOOL:${arg_FOR_SIZE}>:-Os>)
  # A system header to its users, as an installed SQLite's is: its macros
  # (SQLITE_STATIC's C cast among them) are not ours to warn about.
  target_include_directories(${target} SYSTEM PUBLIC "$<BUILD_INTERFACE:${headers}>"
    PRIVATE "${arg_SOURCE_DIR}")
  target_link_libraries(${target} PUBLIC ${sqlite_libs})
endfunction()

if(DATABASE_INTERFACE_SQLITE STREQUAL "system")
  if(DATABASE_INTERFACE_SQLITE_DEFINES)
    message(WARNING "DATABASE_INTERFACE_SQLITE_DEFINES reaches only the SQLite copies this "
      "project compiles (bundled, and dbi's); the store's system SQLite is used as it was built")
  endif()
  find_package(SQLite3 ${sqlite_minimum} REQUIRED)
  set(sqlite_target SQLite::SQLite3)
else()
  # The store's own copy also leaves out what its plain SQL never calls for
  # (JSON, date and time functions, sqlite3_deserialize), which dbi's copy,
  # made to read and salvage any file, keeps: bytes an app need not carry.
  database_interface_add_sqlite(database_interface_sqlite
    SOURCE_DIR "${DATABASE_INTERFACE_SQLITE_SOURCE_DIR}" FOR_SIZE ${DATABASE_INTERFACE_SQLITE_FOR_SIZE}
    WITH SQLITE_OMIT_JSON SQLITE_OMIT_DATETIME_FUNCS SQLITE_OMIT_DESERIALIZE)
  set(sqlite_target database_interface_sqlite)
endif()
