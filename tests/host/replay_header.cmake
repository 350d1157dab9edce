# --record from a folder whose name needs quoting, with relative paths: vesk-host says where it
# wrote and how many steps, and the command in the recording's header, run as written by the
# shell from another folder, replays it and passes.
#   -DHOST -DSCRIPT -DSCENARIO -DSYSTEM -DWORK
set(place "${WORK}/replay it's here")
set(elsewhere "${WORK}/replay elsewhere")
file(REMOVE_RECURSE "${place}" "${elsewhere}")
file(MAKE_DIRECTORY "${place}" "${elsewhere}")
file(COPY "${SYSTEM}/" DESTINATION "${place}/demo system")
file(RELATIVE_PATH script "${place}" "${SCRIPT}")

execute_process(COMMAND "${HOST}" --quiet --script "${script}" --system "demo system"
        --workstation 12 --record "recorded follow.scenario" "${SCENARIO}"
    WORKING_DIRECTORY "${place}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the recorded run failed (exit ${status}):\n${out}${err}")
endif()

# The steps that change something; expectations and comments are not recorded as steps.
file(STRINGS "${SCENARIO}" lines)
set(steps 0)
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[ \t]*($|#|expect )")
        math(EXPR steps "${steps} + 1")
    endif()
endforeach()
set(said "vesk-host: recorded ${steps} steps in ${place}/recorded follow.scenario")
string(FIND "${out}${err}" "${said}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "the run did not say \"${said}\":\n${out}${err}")
endif()

file(STRINGS "${place}/recorded follow.scenario" recorded)
set(command "")
set(next OFF)
foreach(line IN LISTS recorded)
    if(next)
        string(REGEX REPLACE "^#   " "" command "${line}")
        break()
    endif()
    if(line STREQUAL "# To replay it, from any folder:")
        set(next ON)
    endif()
endforeach()
if(NOT command MATCHES "^/")
    message(FATAL_ERROR "no replay command naming vesk-host by its absolute path in the header:\n"
                        "${recorded}")
endif()
execute_process(COMMAND sh -c "${command}" WORKING_DIRECTORY "${elsewhere}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT out MATCHES "vesk-host: passed")
    message(FATAL_ERROR "the header's command did not replay the recording (exit ${status}):\n"
                        "${command}\n${out}${err}")
endif()
