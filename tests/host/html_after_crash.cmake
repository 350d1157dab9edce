# A run whose script crashes still leaves its --html file: the last state, the transcript and
# how the run ended.
#   -DHOST -DSCRIPT -DSCENARIO -DSYSTEM -DWORK
set(html "${WORK}/crashed.html")
file(REMOVE "${html}")
execute_process(COMMAND "${HOST}" --script "${SCRIPT}" --system "${SYSTEM}" --quiet
        --html "${html}" "${SCENARIO}"
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
