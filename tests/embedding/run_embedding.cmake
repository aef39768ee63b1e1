# One embedding of the store in a host SDK's build, run by CTest:
#
#   cmake -DHOW=subdirectory|fetchcontent -DKIND=shared|static
#         -DSQLITE=system|bundled -DSOURCE_DIR=… -DWORK_DIR=… [-DCXX=…]
#         -P run_embedding.cmake
#
# configures and builds the host project in host/ around the store's source
# tree, runs its program through the host's own CTest (which must hold the
# host's test alone), and for a shared store with a bundled SQLite checks
# that no SQLite symbol leaves the store.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

if(KIND STREQUAL "shared")
  set(shared ON)
else()
  set(shared OFF)
endif()
if(NOT CXX)
  set(CXX c++)
endif()
set(build "${WORK_DIR}/${HOW}-${KIND}-${SQLITE}")
file(REMOVE_RECURSE "${build}")

# No build type: the host's flags are its own, and an unoptimised SQLite
# builds quickly.
run("${CMAKE_COMMAND}" -S "${CMAKE_CURRENT_LIST_DIR}/host" -B "${build}"
    "-DCMAKE_CXX_COMPILER=${CXX}" "-DDBI_SOURCE_DIR=${SOURCE_DIR}" "-DDBI_EMBED_HOW=${HOW}"
    "-DBUILD_SHARED_LIBS=${shared}" "-DDBI_SQLITE=${SQLITE}")
run("${CMAKE_COMMAND}" --build "${build}" -j 2)
run("${CMAKE_CTEST_COMMAND}" --test-dir "${build}" --output-on-failure)
if(NOT output MATCHES "100% tests passed, 0 tests failed out of 1\n")
  message(FATAL_ERROR "the host's CTest ran more than its own test:\n${output}")
endif()

if(shared AND SQLITE STREQUAL "bundled")
  file(GLOB_RECURSE store LIST_DIRECTORIES false "${build}/libdatabase_interface.so")
  run(nm -D --defined-only "${store}")
  if(output MATCHES "sqlite3_")
    message(FATAL_ERROR "the shared store exports SQLite's symbols:\n${output}")
  endif()
endif()
message(STATUS "embedded ${HOW}, ${KIND}, ${SQLITE} SQLite: host program passed")
