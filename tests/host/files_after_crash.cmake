# A run whose script crashes still leaves its --html file (the last state, the transcript and
# how the run ended) and its --record file, which replayed ends the same way.
#   -DHOST -DSCRIPT -DSCENARIO -DSYSTEM -DWORK
set(html "${WORK}/crashed.html")
set(recorded "${WORK}/crashed.scenario")
file(REMOVE "${html}" "${recorded}")
execute_process(COMMAND "${HOST}" --script "${SCRIPT}" --system "${SYSTEM}" --quiet
        --html "${html}" --record "${recorded}" "${SCENARIO}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 1)
    message(FATAL_ERROR "a crashed run ended with ${status}, not 1:\n${out}${err}")
endif()
if(NOT EXISTS "${html}")
    message(FATAL_ERROR "no HTML file after the crash:\n${out}${err}")
endif()
file(READ "${html}" page)
foreach(wanted "window.veskSnapshot = " "\"ended\":\"broken_crash crashed: SIGSEGV"
        "in buttonCallback" "instance=rtr")
    string(FIND "${page}" "${wanted}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the HTML file lacks ${wanted}")
    endif()
endforeach()

# Counted with the step the run crashed in, which the last state shown did not count yet.
string(FIND "${err}" "vesk-host: recorded 2 steps in ${recorded}" said)
if(said EQUAL -1)
    message(FATAL_ERROR "the run did not say where it recorded the 2 steps:\n${out}${err}")
endif()
file(READ "${recorded}" text)
if(NOT text MATCHES "\npress 1 button\n# The run crashed: SIGSEGV[^\n]* in buttonCallback")
    message(FATAL_ERROR "the recording lacks the step the run crashed in:\n${text}")
endif()
execute_process(COMMAND "${HOST}" --script "${SCRIPT}" --system "${SYSTEM}" --quiet "${recorded}"
    RESULT_VARIABLE replayed OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT replayed EQUAL 1 OR NOT err MATCHES "crashed: SIGSEGV")
    message(FATAL_ERROR "the recording replayed with ${replayed}, not as the crash:\n${out}${err}")
endif()
