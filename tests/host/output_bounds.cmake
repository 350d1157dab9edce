# A script's output must neither take vesk-host down nor make a sound script fail:
#   - a script that writes debug output until the watchdog stops it leaves a run whose memory
#     stays within a limit, and a JUnit report that is well-formed, small, and says what was cut;
#   - a script that writes more in one call than a paused reader of standard output takes
#     passes, and everything it wrote is printed in order once the reader reads;
#   - bytes that are not text (no UTF-8, control characters) leave the report well-formed.
#   -DHOST, -DFOREVER and -DSOME (the flood libraries), -DSCENARIO, -DSYSTEM, -DWORK,
#   -DENSURE (scripts/ensure-packages.sh), -DLIMIT_MEMORY (no sanitizer: an address-space
#   limit is safe to set)
set(failures "")
execute_process(COMMAND "${ENSURE}" xmllint:libxml2-utils RESULT_VARIABLE installed)
if(NOT installed EQUAL 0)
    message(FATAL_ERROR "xmllint is missing and could not be installed")
endif()

function(check_report junit what)
    if(NOT EXISTS "${junit}")
        set(failures "${failures}${what}: no JUnit report\n" PARENT_SCOPE)
        return()
    endif()
    file(SIZE "${junit}" size)
    if(size GREATER 4000000)
        string(APPEND failures "${what}: the JUnit report has ${size} bytes\n")
    endif()
    execute_process(COMMAND xmllint --noout "${junit}" RESULT_VARIABLE wellFormed
        ERROR_VARIABLE complaint)
    if(NOT wellFormed EQUAL 0)
        string(SUBSTRING "${complaint}" 0 2000 complaint)
        string(APPEND failures "${what}: the JUnit report is not well-formed XML:\n${complaint}\n")
    endif()
    set(failures "${failures}" PARENT_SCOPE)
endfunction()

# 1. A flood until the watchdog stops it, under a limit on the address space.
set(junit "${WORK}/flood_forever.junit.xml")
file(REMOVE "${junit}")
set(limit "")
if(LIMIT_MEMORY)
    set(limit "ulimit -v 1000000 && ")
endif()
execute_process(
    COMMAND sh -c "${limit}exec \"$0\" \"$@\"" "${HOST}" --script "${FOREVER}"
        --system "${SYSTEM}" --timeout 2 --quiet --junit "${junit}" "${SCENARIO}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 1)
    string(APPEND failures "flood until stopped: exit status ${status}, expected 1\n")
endif()
foreach(wanted "hung: the call did not return within 2 s" "in buttonCallback")
    string(FIND "${out}${err}" "${wanted}" at)
    if(at EQUAL -1)
        string(APPEND failures "flood until stopped: missing from the output: ${wanted}\n")
    endif()
endforeach()
check_report("${junit}" "flood until stopped")
if(EXISTS "${junit}")
    file(READ "${junit}" report)
    if(NOT report MATCHES "vesk-host cut [0-9]+ bytes here")
        string(APPEND failures "flood until stopped: the report does not say what was cut\n")
    endif()
endif()

# 2. More in one call than a pipe holds, while the reader pauses for longer than --timeout.
set(junit "${WORK}/flood_some.junit.xml")
file(REMOVE "${junit}" "${WORK}/flood_some.out" "${WORK}/flood_some.status")
execute_process(
    COMMAND sh -c "{ \"$0\" \"$@\"; echo $? > \"${WORK}/flood_some.status\"; } | { sleep 3; cat > \"${WORK}/flood_some.out\"; }"
        "${HOST}" --script "${SOME}" --system "${SYSTEM}" --timeout 1 --junit "${junit}"
        "${SCENARIO}"
    ERROR_VARIABLE err)
file(READ "${WORK}/flood_some.status" status)
string(STRIP "${status}" status)
if(NOT status EQUAL 0)
    string(APPEND failures "paused reader: exit status ${status}, expected 0\n${err}\n")
endif()
file(READ "${WORK}/flood_some.out" out)
string(FIND "${out}" "press 1 button" pressed)
string(FIND "${out}" "flood done" done)
string(FIND "${out}" "vesk-host: passed" passed)
string(REGEX MATCHALL "flood line" lines "${out}")
list(LENGTH lines count)
if(pressed EQUAL -1 OR done LESS pressed OR passed LESS done OR NOT count EQUAL 4096)
    string(APPEND failures "paused reader: the transcript is not whole and in order "
        "(press at ${pressed}, done at ${done}, result at ${passed}, ${count} lines)\n")
endif()
check_report("${junit}" "paused reader")

# 3. Bytes that are not text in a failure's message and in the output.
set(junit "${WORK}/flood_fails.junit.xml")
file(REMOVE "${junit}")
file(WRITE "${WORK}/flood_fails.scenario" "press 1 button\nexpect no debug\n")
execute_process(
    COMMAND "${HOST}" --script "${SOME}" --system "${SYSTEM}" --quiet --junit "${junit}"
        "${WORK}/flood_fails.scenario"
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
if(NOT status EQUAL 1)
    string(APPEND failures "failed expectation: exit status ${status}, expected 1\n")
endif()
check_report("${junit}" "failed expectation")

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
