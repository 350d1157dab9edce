# vesk_add_scenario_test, case by case: the command line of the test it adds, or the error it
# stops with. Each case configures the project of this folder afresh.
file(MAKE_DIRECTORY "${WORK}/system")
file(WRITE "${WORK}/run.scenario" "destroy\n")
# CTest lists a test's command only when its program exists.
file(WRITE "${WORK}/vesk-host" "")
file(CHMOD "${WORK}/vesk-host" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

set(base "NAME|panel|SCRIPT|panel_script|SYSTEM|${WORK}/system|SCENARIO|${WORK}/run.scenario")
set(cmd "${WORK}/vesk-host|--script|/scripts/libpanel_script.so|--system|${WORK}/system|--junit|${WORK}/build/panel.junit.xml")
# name ~ arguments ~ the expected command, or "error:" and a piece of the message
set(cases
    "plain~${base}~${cmd}|${WORK}/run.scenario"
    "options~${base}|WORKSTATION|12|STARTUP|panels main|STRICT~${cmd}|--workstation|12|--startup|panels main|--strict|${WORK}/run.scenario"
    "abi~${base}|ABI|msvc|STRICT~${cmd}|--abi|msvc|--strict|${WORK}/run.scenario"
    "bad abi~${base}|ABI|gcc~error:ABI takes msvc or itanium, not 'gcc'"
    "relative~NAME|panel|SCRIPT|panel_script|SYSTEM|system|SCENARIO|run.scenario~${cmd}|${WORK}/run.scenario"
    "no name~SCRIPT|panel_script|SYSTEM|system|SCENARIO|run.scenario~error:NAME is required"
    "no scenario~NAME|panel|SCRIPT|panel_script|SYSTEM|system~error:SCENARIO is required"
    "not a target~NAME|panel|SCRIPT|nothing|SYSTEM|system|SCENARIO|run.scenario~error:SCRIPT nothing is not a target"
    "missing system~NAME|panel|SCRIPT|panel_script|SYSTEM|elsewhere|SCENARIO|run.scenario~error:is not a folder"
    "missing scenario~NAME|panel|SCRIPT|panel_script|SYSTEM|system|SCENARIO|gone.scenario~error:is not a file"
    "bad workstation~${base}|WORKSTATION|twelve~error:WORKSTATION takes a number"
    "unknown keyword~${base}|VERBOSE~error:unknown arguments: VERBOSE")

set(failures "")
foreach(case IN LISTS cases)
    string(REPLACE "~" ";" fields "${case}")
    list(GET fields 0 name)
    list(GET fields 1 arguments)
    list(GET fields 2 expected)
    file(REMOVE_RECURSE "${WORK}/build")
    # The project sits in WORK so that relative paths resolve there.
    configure_file("${SOURCE}/CMakeLists.txt" "${WORK}/CMakeLists.txt" COPYONLY)
    execute_process(COMMAND ${CMAKE_COMMAND} -S "${WORK}" -B "${WORK}/build"
                            "-DVESK_CMAKE_DIR=${VESK_CMAKE_DIR}" "-DCASE_ARGS=${arguments}"
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(expected MATCHES "^error:(.*)$")
        # CMake wraps its messages; compare with every run of blanks made one.
        string(REGEX REPLACE "[ \t\r\n]+" " " err "${err}")
        string(FIND "${err}" "${CMAKE_MATCH_1}" at)
        if(status EQUAL 0 OR at EQUAL -1)
            string(APPEND failures "${name}: expected the error '${CMAKE_MATCH_1}', got ${status}: ${err}\n")
        endif()
        continue()
    endif()
    if(NOT status EQUAL 0)
        string(APPEND failures "${name}: configure failed: ${err}\n")
        continue()
    endif()
    execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --show-only=json-v1
                    WORKING_DIRECTORY "${WORK}/build" OUTPUT_VARIABLE json)
    string(JSON count LENGTH "${json}" tests)
    if(NOT count EQUAL 1)
        string(APPEND failures "${name}: ${count} tests, expected 1\n")
        continue()
    endif()
    string(JSON last LENGTH "${json}" tests 0 command)
    math(EXPR last "${last} - 1")
    set(command "")
    foreach(i RANGE ${last})
        string(JSON word GET "${json}" tests 0 command ${i})
        list(APPEND command "${word}")
    endforeach()
    string(REPLACE "|" ";" expected "${expected}")
    if(NOT command STREQUAL expected)
        string(APPEND failures "${name}:\n  got      ${command}\n  expected ${expected}\n")
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
