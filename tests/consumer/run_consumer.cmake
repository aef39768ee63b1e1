# One step of the installed-package checks, run by CTest (into a scratch
# prefix) and by scripts/check-package (against an installed Debian package):
#
#   cmake -DSTEP=install -DBUILD_DIR=… -DPREFIX=… [-DKIND=static] -P run_consumer.cmake
#     installs the build into PREFIX and checks that every installed program
#     and library finds the libraries it needs without help (RPATH). With
#     KIND static it installs instead the store alone built in WORK_DIR,
#     static with the bundled SQLite, and checks that it is one archive.
#   cmake -DSTEP=find_package|pkg_config -DSOURCE_DIR=… -DWORK_DIR=…
#         [-DPREFIX=…] [-DLIBDIR=…] [-DCXX=…] -P run_consumer.cmake
#     builds the consumer in SOURCE_DIR against the installed package, once
#     through find_package and once through pkg-config, and runs it on a
#     new store file. Without PREFIX the package is looked for where the
#     system keeps packages. The program is the one README.md shows, taken
#     from it, and the pkg-config build runs README.md's own commands, so
#     that what a newcomer copies is what gets built.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

function(run_output var)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

# The installed ELF files: everything under bin/ and the versioned libraries.
function(check_installed_dependencies prefix)
  find_program(LDD ldd)
  if(NOT LDD)
    return()
  endif()
  file(GLOB programs LIST_DIRECTORIES false "${prefix}/bin/*")
  file(GLOB_RECURSE libraries LIST_DIRECTORIES false "${prefix}/lib*/*.so.*")
  foreach(binary IN LISTS programs libraries)
    if(IS_SYMLINK "${binary}")
      continue()
    endif()
    run_output(needed "${LDD}" "${binary}")
    if(needed MATCHES "not found")
      message(FATAL_ERROR "${binary} misses a library when installed:\n${needed}")
    endif()
  endforeach()
endfunction()

if(NOT CXX)
  set(CXX c++)
endif()
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/DatabaseInterfaceReadme.cmake")
set(main "${WORK_DIR}/${STEP}.cc")
if(NOT STEP STREQUAL "install")
  database_interface_readme_block("${CMAKE_CURRENT_LIST_DIR}/../../README.md" build cpp "${main}")
endif()

if(STEP STREQUAL "install")
  file(REMOVE_RECURSE "${PREFIX}")
  if(KIND STREQUAL "static")
    # No build type: an unoptimised SQLite builds quickly.
    set(BUILD_DIR "${WORK_DIR}/build")
    run("${CMAKE_COMMAND}" -S "${CMAKE_CURRENT_LIST_DIR}/../.." -B "${BUILD_DIR}" "-DCMAKE_CXX_COMPILER=${CXX}"
        -DCMAKE_BUILD_TYPE= -DBUILD_SHARED_LIBS=OFF -DDATABASE_INTERFACE_SQLITE=bundled
        -DDATABASE_INTERFACE_BUILD_TESTS=OFF -DDATABASE_INTERFACE_BUILD_TOOLS=OFF -DDATABASE_INTERFACE_BUILD_EXAMPLES=OFF)
    run("${CMAKE_COMMAND}" --build "${BUILD_DIR}" -j 2)
  endif()
  run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}")
  check_installed_dependencies("${PREFIX}")
  file(GLOB_RECURSE archives RELATIVE "${PREFIX}" "${PREFIX}/*.a")
  if(KIND STREQUAL "static" AND NOT archives MATCHES "^lib[^;]*/libdatabase_interface\\.a$")
    message(FATAL_ERROR "a static install is one archive, libdatabase_interface.a, not: ${archives}")
  endif()

elseif(STEP STREQUAL "find_package")
  set(build "${WORK_DIR}/find_package")
  file(REMOVE_RECURSE "${build}")
  run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${build}" "-DCMAKE_CXX_COMPILER=${CXX}"
      "-DCMAKE_PREFIX_PATH=${PREFIX}" "-DCONSUMER_MAIN=${main}")
  run("${CMAKE_COMMAND}" --build "${build}")
  run("${build}/consumer" "${build}/consumer.db")
  # The inspector is installed with the library and runs from where it is
  # (the static store is installed without it).
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
  file(MAKE_DIRECTORY "${build}")
  file(RENAME "${main}" "${build}/main.cc")
  database_interface_readme_block("${CMAKE_CURRENT_LIST_DIR}/../../README.md" run sh "${build}/build.sh")
  file(READ "${build}/build.sh" commands)
  if(PREFIX)
    string(REPLACE "/opt/dbi/lib/" "${PREFIX}/${LIBDIR}/" commands "${commands}")
  else()
    string(REGEX REPLACE "export PKG_CONFIG_PATH=[^\n]*\n" "" commands "${commands}")
  endif()
  if(commands MATCHES "/opt/dbi")
    message(FATAL_ERROR "README.md's pkg-config lines name /opt/dbi outside PKG_CONFIG_PATH")
  endif()
  file(WRITE "${build}/build.sh" "set -e\n${commands}")
  execute_process(COMMAND sh "${build}/build.sh" WORKING_DIRECTORY "${build}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "README.md's pkg-config lines failed (${rc}):\n${commands}")
  endif()

else()
  message(FATAL_ERROR "STEP must be install, find_package or pkg_config")
endif()
