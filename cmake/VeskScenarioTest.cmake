# vesk_add_scenario_test(NAME name SCRIPT target SYSTEM dir SCENARIO file
#                        [WORKSTATION n] [STARTUP text] [ABI msvc|itanium] [STRICT])
#
# Adds a CTest test that runs the scenario in vesk-host (vesk::host) against the script
# library `target`, with the system folder `dir`. Relative paths are taken from the calling
# folder. The test writes a JUnit report, <build folder>/<name>.junit.xml, for CI to collect.
# WORKSTATION sets CC_WORKSTATION, STARTUP the start-up text the script is created with,
# STRICT passes --strict to vesk-host. ABI names the C++ object layout of a script built
# without RTTI (--abi): msvc for Visual Studio's, itanium for MinGW's, GCC's and clang's.
#
# A build that does not make vesk-host (Visual Studio, in the real host's ABI) runs its
# scenarios in a vesk-host.exe built elsewhere: VESK_HOST names it, and vesk::host is that
# program, started under the build's emulator (Wine) when there is one.
set(VESK_HOST "" CACHE FILEPATH "vesk-host to run the scenarios in, when this build makes none")
if(VESK_HOST AND NOT TARGET vesk::host)
    add_executable(vesk::host IMPORTED GLOBAL)
    set_target_properties(vesk::host PROPERTIES IMPORTED_LOCATION "${VESK_HOST}")
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        set_target_properties(vesk::host PROPERTIES
            CROSSCOMPILING_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")
    endif()
endif()

function(vesk_add_scenario_test)
    cmake_parse_arguments(PARSE_ARGV 0 arg "STRICT"
                          "NAME;SCRIPT;SYSTEM;SCENARIO;WORKSTATION;STARTUP;ABI" "")
    set(where "vesk_add_scenario_test(${arg_NAME})")
    if(arg_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "${where}: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
    endif()
    foreach(required NAME SCRIPT SYSTEM SCENARIO)
        if(NOT arg_${required})
            message(FATAL_ERROR "${where}: ${required} is required")
        endif()
    endforeach()
    if(NOT TARGET ${arg_SCRIPT})
        message(FATAL_ERROR "${where}: SCRIPT ${arg_SCRIPT} is not a target")
    endif()
    if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
        message(STATUS "${where}: left out; this cross build has no emulator to run vesk-host")
        return()
    endif()
    if(NOT TARGET vesk::host)
        message(FATAL_ERROR "${where}: vesk::host is missing; build the SDK with VESK_BUILD_HOST")
    endif()
    if(DEFINED arg_WORKSTATION AND NOT arg_WORKSTATION MATCHES "^[0-9]+$")
        message(FATAL_ERROR "${where}: WORKSTATION takes a number, not '${arg_WORKSTATION}'")
    endif()
    if(DEFINED arg_ABI AND NOT arg_ABI MATCHES "^(msvc|itanium)$")
        message(FATAL_ERROR "${where}: ABI takes msvc or itanium, not '${arg_ABI}'")
    endif()

    get_filename_component(system "${arg_SYSTEM}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    get_filename_component(scenario "${arg_SCENARIO}" ABSOLUTE
                           BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT IS_DIRECTORY "${system}")
        message(FATAL_ERROR "${where}: SYSTEM ${system} is not a folder")
    endif()
    if(NOT EXISTS "${scenario}" OR IS_DIRECTORY "${scenario}")
        message(FATAL_ERROR "${where}: SCENARIO ${scenario} is not a file")
    endif()

    set(command vesk::host --script "$<TARGET_FILE:${arg_SCRIPT}>" --system "${system}"
                --junit "${CMAKE_CURRENT_BINARY_DIR}/${arg_NAME}.junit.xml")
    if(DEFINED arg_WORKSTATION)
        list(APPEND command --workstation "${arg_WORKSTATION}")
    endif()
    if(DEFINED arg_STARTUP)
        list(APPEND command --startup "${arg_STARTUP}")
    endif()
    if(DEFINED arg_ABI)
        list(APPEND command --abi "${arg_ABI}")
    endif()
    if(arg_STRICT)
        list(APPEND command --strict)
    endif()
    list(APPEND command "${scenario}")
    add_test(NAME ${arg_NAME} COMMAND ${command})
endfunction()
