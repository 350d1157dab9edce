# Installs the SDK from a build tree into a fresh prefix, builds the outside project against
# it, runs it, and runs its scenario tests. Every step must succeed.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "step failed (${result}): ${ARGN}\n${out}\n${err}")
    endif()
    message(STATUS "${out}")
endfunction()

step(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${WORK}/prefix")
step(${CMAKE_COMMAND} -S "${SOURCE}" -B "${WORK}/build"
     "-DCMAKE_PREFIX_PATH=${WORK}/prefix" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
     -DCMAKE_BUILD_TYPE=Release)
step(${CMAKE_COMMAND} --build "${WORK}/build")
step("${WORK}/build/outside_script")
step(${CMAKE_CTEST_COMMAND} --test-dir "${WORK}/build" --output-on-failure --no-tests=error)
