# Runs one vesk-host command line and checks how it ended: its exit status, the texts its
# output must hold and those it must not.
#   -DCOMMAND=a|b|c   the command, "|" between arguments
#   -DSTATUS=N        the exit status expected
#   -DWANTED=x|y      texts the output (stdout and stderr) must hold
#   -DUNWANTED=x|y    texts it must not hold
#   -DJUNIT=FILE      a JUnit report that must exist and hold the WANTED texts too
include(${CMAKE_CURRENT_LIST_DIR}/run_check.cmake)
string(REPLACE "|" ";" command "${COMMAND}")
string(REPLACE "|" ";" wanted "${WANTED}")
string(REPLACE "|" ";" unwanted "${UNWANTED}")
if(JUNIT)
    file(REMOVE "${JUNIT}")
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out
    ERROR_VARIABLE err TIMEOUT 60)
set(problems "")
run_check(problems "${status}" "${STATUS}" "${out}${err}" "${JUNIT}" wanted unwanted)
if(problems)
    message(FATAL_ERROR "${problems}--- output:\n${out}${err}")
endif()
