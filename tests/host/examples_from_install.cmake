# Installs the SDK into a fresh prefix and, for each example, does what the guide tells a script
# author: configure the installed copy against the prefix, build it, run its tests with CTest.
# Nothing comes from the source tree.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    message("${out}${err}")
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "step failed (${result}): ${ARGN}")
    endif()
endfunction()

set(prefix "${WORK}/prefix")
step(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")
set(share "${prefix}/share/VeskScript")
foreach(wanted docs/writing-a-script.md examples/demo-system/config/system/configdb.ini
               examples/demo-system/panels/main.ini examples/follow.scenario
               examples/follow/viewTrail.h examples/follow/viewTrail.cpp
               examples/follow/load_vesk_client_script.cpp)
    if(NOT EXISTS "${share}/${wanted}")
        message(FATAL_ERROR "the install has no ${wanted}")
    endif()
endforeach()
if(EXISTS "${share}/examples/CMakeLists.txt")
    message(FATAL_ERROR "the install holds the SDK build's own examples/CMakeLists.txt")
endif()

string(REPLACE "|" ";" examples "${EXAMPLES}")
foreach(example IN LISTS examples)
    set(build "${WORK}/${example}")
    step(${CMAKE_COMMAND} -S "${share}/examples/${example}" -B "${build}"
         "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
         -DCMAKE_BUILD_TYPE=Release)
    step(${CMAKE_COMMAND} --build "${build}")
    step(${CMAKE_CTEST_COMMAND} --test-dir "${build}" --output-on-failure --no-tests=error)
    file(GLOB reports "${build}/*.junit.xml")
    if(NOT reports)
        message(FATAL_ERROR "${example}: its scenario test left no JUnit report")
    endif()
endforeach()
