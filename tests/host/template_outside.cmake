# Installs the SDK and vesk-host into a fresh prefix, builds the template as a script author
# does, outside this tree, and runs its scenario in the installed vesk-host.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    message("${out}${err}")
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "step failed (${result}): ${ARGN}")
    endif()
endfunction()

step(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${WORK}/prefix")
step(${CMAKE_COMMAND} -S "${TEMPLATE}" -B "${WORK}/build"
     "-DCMAKE_PREFIX_PATH=${WORK}/prefix" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
     -DCMAKE_BUILD_TYPE=Release)
step(${CMAKE_COMMAND} --build "${WORK}/build")
step("${WORK}/prefix/bin/vesk-host" --script "${WORK}/build/${LIBRARY}" --system "${SYSTEM}"
     "${TEMPLATE}/stopwatch.scenario")
