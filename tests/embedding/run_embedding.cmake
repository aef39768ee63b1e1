# One embedding of the store in a host SDK's build, run by CTest:
#   cmake -DROW=<how>_<kind>_<sqlite> -DSOURCE_DIR=… -DWORK_DIR=… -DCXX=… -P run_embedding.cmake
# (subdirectory or fetchcontent, shared or static, system or bundled) builds
# the host project in host/ around the store's sources, runs its two
# programs through the host's own CTest (which must hold its tests alone),
# and checks that a bundled SQLite's names stay in the store.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

string(REPLACE "_" ";" ROW "${ROW}")
list(GET ROW 0 HOW)
list(GET ROW 1 KIND)
list(GET ROW 2 SQLITE)
string(COMPARE EQUAL "${KIND}" shared shared)
set(build "${WORK_DIR}/${HOW}-${KIND}-${SQLITE}")
file(REMOVE_RECURSE "${build}")

# No build type: the host's flags are its own, and an unoptimised SQLite
# builds quickly; a bundled one makes new files with pages of its own size.
set(configure "${CMAKE_COMMAND}" -S "${CMAKE_CURRENT_LIST_DIR}/host" -B "${build}"
    "-DCMAKE_CXX_COMPILER=${CXX}" "-DSTORE_SOURCE_DIR=${SOURCE_DIR}" "-DEMBED_HOW=${HOW}"
    "-DBUILD_SHARED_LIBS=${shared}" "-DDATABASE_INTERFACE_SQLITE=${SQLITE}")
if(SQLITE STREQUAL "bundled")
  list(APPEND configure -DDATABASE_INTERFACE_SQLITE_DEFINES=SQLITE_DEFAULT_PAGE_SIZE=8192)
endif()
# A shared store refuses a static `base`, whose copy inside it would log to
# a sink of its own.
if(shared)
  execute_process(COMMAND ${configure} -DHOST_BASE_KIND=STATIC RESULT_VARIABLE rc ERROR_VARIABLE out
    OUTPUT_QUIET)
  if(rc EQUAL 0 OR NOT out MATCHES "is a static library")
    message(FATAL_ERROR "a shared store took a static base:\n${out}")
  endif()
  file(REMOVE_RECURSE "${build}")
endif()
run(${configure} -DHOST_BASE_KIND=SHARED)
run("${CMAKE_COMMAND}" --build "${build}" -j 2)
run("${CMAKE_CTEST_COMMAND}" --test-dir "${build}" --output-on-failure)
if(NOT output MATCHES "100% tests passed, 0 tests failed out of 2\n")
  message(FATAL_ERROR "the host's CTest ran more than its own test:\n${output}")
endif()

if(SQLITE STREQUAL "bundled")
  file(GLOB_RECURSE store "${build}/libdatabase_interface.so" "${build}/libdatabase_interface.a")
  run(nm -g --defined-only ${store})
  if(output MATCHES "[ \t]_?sqlite3")
    message(FATAL_ERROR "the store gives SQLite's names to its host:\n${output}")
  endif()
endif()
message(STATUS "embedded ${HOW}, ${KIND}, ${SQLITE} SQLite: host program passed")
