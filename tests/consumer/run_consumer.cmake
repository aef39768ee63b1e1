# cmake -DBUILD_DIR=… -DSOURCE_DIR=… -DWORK_DIR=… -P run_consumer.cmake
file(REMOVE_RECURSE "${WORK_DIR}")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix")
run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/build"
    "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix")
run("${CMAKE_COMMAND}" --build "${WORK_DIR}/build")
run("${WORK_DIR}/build/dbi_consumer" "${WORK_DIR}/consumer.db")
# The inspector is installed with the library and runs from the prefix.
run("${WORK_DIR}/prefix/bin/dbi" check "${WORK_DIR}/consumer.db")
