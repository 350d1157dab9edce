# Runs a scenario with --record and --html, then replays the recording, which must pass; the
# HTML file must be one page that holds its state and lets no script text out of its data.
#   -DHOST -DSCRIPT -DSCENARIO -DSYSTEM [-DWORKSTATION] -DWORK -DNAME
set(recorded "${WORK}/${NAME}.recorded.scenario")
set(html "${WORK}/${NAME}.html")
file(REMOVE "${recorded}" "${html}")
set(command "${HOST}" --script "${SCRIPT}" --system "${SYSTEM}" --quiet)
if(WORKSTATION)
    list(APPEND command --workstation "${WORKSTATION}")
endif()
execute_process(COMMAND ${command} --record "${recorded}" --html "${html}" "${SCENARIO}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT EXISTS "${recorded}" OR NOT EXISTS "${html}")
    message(FATAL_ERROR "no recording or no HTML file (exit ${status}):\n${out}${err}")
endif()
execute_process(COMMAND ${command} "${recorded}"
    RESULT_VARIABLE replayed OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT replayed EQUAL 0)
    file(READ "${recorded}" text)
    message(FATAL_ERROR "the recording did not replay (exit ${replayed}):\n${out}${err}\n${text}")
endif()

file(READ "${html}" page)
string(FIND "${page}" "window.veskSnapshot = " at)
if(at EQUAL -1)
    message(FATAL_ERROR "the HTML file holds no state")
endif()
# Exactly the page's own script elements: one for the state, one for the page's code.
string(REGEX MATCHALL "<script>" opened "${page}")
list(LENGTH opened count)
if(NOT count EQUAL 2)
    message(FATAL_ERROR "the HTML file has ${count} script elements, not 2")
endif()
string(REGEX MATCH "(src|href)=\"https?:" outside "${page}")
if(outside)
    message(FATAL_ERROR "the HTML file reaches outside itself: ${outside}")
endif()
