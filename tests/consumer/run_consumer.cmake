# One step of the installed-package checks, run by CTest (into a scratch
# prefix) and by scripts/check-package (against an installed Debian package):
#
#   cmake -DSTEP=install -DBUILD_DIR=… -DPREFIX=… -P run_consumer.cmake
#     installs the build into PREFIX and checks that every installed program
#     and library finds the libraries it needs without help (RPATH).
#   cmake -DSTEP=find_package|pkg_config -DSOURCE_DIR=… -DWORK_DIR=…
#         [-DPREFIX=…] [-DLIBDIR=…] [-DCXX=…] -P run_consumer.cmake
#     builds the consumer in SOURCE_DIR against the installed package, once
#     through find_package and once through pkg-config, and runs it on a
#     new store file. Without PREFIX the package is looked for where the
#     system keeps packages. The program is the one README.md shows, taken
#     from it, so that what a newcomer copies is what gets built.

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
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/DbiReadmeSample.cmake")
set(main "${WORK_DIR}/${STEP}.cc")
if(NOT STEP STREQUAL "install")
  dbi_extract_readme_sample("${CMAKE_CURRENT_LIST_DIR}/../../README.md" "${main}")
endif()

if(STEP STREQUAL "install")
  file(REMOVE_RECURSE "${PREFIX}")
  run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}")
  check_installed_dependencies("${PREFIX}")

elseif(STEP STREQUAL "find_package")
  set(build "${WORK_DIR}/find_package")
  file(REMOVE_RECURSE "${build}")
  run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${build}" "-DCMAKE_CXX_COMPILER=${CXX}"
      "-DCMAKE_PREFIX_PATH=${PREFIX}" "-DDBI_CONSUMER_MAIN=${main}")
  run("${CMAKE_COMMAND}" --build "${build}")
  run("${build}/dbi_consumer" "${build}/consumer.db")
  # The inspector is installed with the library and runs from where it is.
  if(PREFIX)
    set(dbi "${PREFIX}/bin/dbi")
  else()
    set(dbi dbi)
  endif()
  run("${dbi}" check "${build}/consumer.db")

elseif(STEP STREQUAL "pkg_config")
  set(build "${WORK_DIR}/pkg_config")
  file(REMOVE_RECURSE "${build}")
  file(MAKE_DIRECTORY "${build}")
  if(PREFIX)
    set(ENV{PKG_CONFIG_PATH} "${PREFIX}/${LIBDIR}/pkgconfig")
  endif()
  run_output(flags pkg-config --cflags --libs database_interface)
  run_output(libdir pkg-config --variable=libdir database_interface)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # As a host's own Makefile would build it: the compiler and pkg-config only.
  run("${CXX}" -std=c++17 "${main}" -o "${build}/dbi_consumer" ${flags}
      "-Wl,-rpath,${libdir}")
  run("${build}/dbi_consumer" "${build}/consumer.db")

else()
  message(FATAL_ERROR "STEP must be install, find_package or pkg_config")
endif()
