# One step of the installed-package checks, run by CTest (into a scratch
# prefix) and by scripts/check-package (against the installed Debian package):
#   cmake -DSTEP=install -DBUILD_DIR=… -DPREFIX=… [-DKIND=static] -P run_consumer.cmake
#     installs the build (KIND static: the store alone, static with the
#     bundled SQLite, built in WORK_DIR) into PREFIX; every installed program
#     and library must find what it needs by itself (RPATH).
#   cmake -DSTEP=find_package|pkg_config -DSOURCE_DIR=… -DWORK_DIR=…
#         [-DPREFIX=…] [-DLIBDIR=…] [-DCXX=…] -P run_consumer.cmake
#     builds README.md's program against the package in PREFIX (else the
#     system's), by the consumer project in SOURCE_DIR or by README.md's own
#     pkg-config lines, and runs it on a new store file.

# run(<command>... [NOT_MATCHING <regex>]): fails on a status or an output.
function(run)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NOT_MATCHING" "")
  execute_process(COMMAND ${arg_UNPARSED_ARGUMENTS} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  if(NOT rc EQUAL 0 OR (arg_NOT_MATCHING AND out MATCHES "${arg_NOT_MATCHING}"))
    message(FATAL_ERROR "failed (${rc}): ${arg_UNPARSED_ARGUMENTS}\n${out}")
  endif()
endfunction()

if(NOT CXX)
  set(CXX c++)
endif()
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/DatabaseInterfaceReadme.cmake")
set(readme "${CMAKE_CURRENT_LIST_DIR}/../../README.md")

if(STEP STREQUAL "install")
  file(REMOVE_RECURSE "${PREFIX}")
  if(KIND STREQUAL "static")
    # No build type: an unoptimised SQLite builds quickly.
    set(BUILD_DIR "${WORK_DIR}/build")
    run("${CMAKE_COMMAND}" -S "${CMAKE_CURRENT_LIST_DIR}/../.." -B "${BUILD_DIR}" "-DCMAKE_CXX_COMPILER=${CXX}"
        -DCMAKE_BUILD_TYPE= -DBUILD_SHARED_LIBS=OFF -DDATABASE_INTERFACE_SQLITE=bundled
        -DDATABASE_INTERFACE_BUILD_TESTS=OFF -DDATABASE_INTERFACE_BUILD_TOOLS=OFF)
    run("${CMAKE_COMMAND}" --build "${BUILD_DIR}" -j 2)
  endif()
  run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}")
  # Every installed program and versioned library finds what it needs.
  file(GLOB_RECURSE binaries LIST_DIRECTORIES false "${PREFIX}/bin/*" "${PREFIX}/lib*/*.so.*.*")
  foreach(binary IN LISTS binaries)
    run(ldd "${binary}" NOT_MATCHING "not found")
  endforeach()
  file(GLOB_RECURSE archives RELATIVE "${PREFIX}" "${PREFIX}/*.a")
  if(KIND STREQUAL "static" AND NOT archives MATCHES "^lib[^;]*/libdatabase_interface\\.a$")
    message(FATAL_ERROR "a static install is one archive, libdatabase_interface.a, not: ${archives}")
  endif()

elseif(STEP STREQUAL "find_package")
  set(build "${WORK_DIR}/find_package")
  file(REMOVE_RECURSE "${build}")
  database_interface_readme_block("${readme}" build cpp "${build}/main.cc")
  run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${build}" "-DCMAKE_CXX_COMPILER=${CXX}"
      "-DCMAKE_PREFIX_PATH=${PREFIX}" "-DCONSUMER_MAIN=${build}/main.cc")
  run("${CMAKE_COMMAND}" --build "${build}")
  run("${build}/consumer" "${build}/consumer.db")
  # dbi, installed with the library but the static store, runs as installed.
  if(NOT PREFIX)
    run(dbi check "${build}/consumer.db")
  elseif(NOT KIND STREQUAL "static")
    run("${PREFIX}/bin/dbi" check "${build}/consumer.db")
  endif()

elseif(STEP STREQUAL "pkg_config")
  # The README's own lines, in a folder with the program as main.cc, for the
  # prefix here instead of its /opt/dbi; without a prefix (the system's
  # packages) there is nothing to tell pkg-config.
  set(build "${WORK_DIR}/pkg_config")
  file(REMOVE_RECURSE "${build}")
  database_interface_readme_block("${readme}" build cpp "${build}/main.cc")
  database_interface_readme_block("${readme}" run sh "${build}/build.sh")
  file(READ "${build}/build.sh" commands)
  if(PREFIX)
    string(REPLACE "/opt/dbi/lib/" "${PREFIX}/${LIBDIR}/" commands "${commands}")
  else()
    string(REGEX REPLACE "export PKG_CONFIG_PATH=[^\n]*\n" "" commands "${commands}")
  endif()
  if(commands MATCHES "/opt/dbi")
    message(FATAL_ERROR "README.md's pkg-config lines name /opt/dbi outside PKG_CONFIG_PATH")
  endif()
  file(WRITE "${build}/build.sh" "set -e\ncd '${build}'\n${commands}")
  run(sh "${build}/build.sh")
endif()
