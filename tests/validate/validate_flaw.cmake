# Runs `vesk-host --validate` on a script with one flaw and checks that the check naming it
# failed: exit status 1 and a line "FAIL CHECK..." or "CRASH CHECK...".
#   -DCOMMAND=a|b|c   the command, "|" between arguments
#   -DSTATUS=N        the exit status expected
#   -DCHECK=NAME      the check that must fail
#   -DOUT=DIR         the folder of the reproducing scenarios, emptied first
#   -DREPLAY=HOST|LIB when set, each scenario written must fail again in plain vesk-host
string(REPLACE "|" ";" command "${COMMAND}")
if(OUT)
    file(REMOVE_RECURSE "${OUT}")
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out
    ERROR_VARIABLE err TIMEOUT 300)
set(problems "")
if(NOT status STREQUAL STATUS)
    string(APPEND problems "  exit status ${status}, expected ${STATUS}\n")
endif()
string(REGEX MATCH "(^|\n)(FAIL|CRASH) ${CHECK}(:|\n| )" verdict "${out}")
if(NOT verdict)
    string(APPEND problems "  no line 'FAIL ${CHECK}' or 'CRASH ${CHECK}'\n")
endif()
if(REPLAY AND NOT problems)
    string(REPLACE "|" ";" replay "${REPLAY}")
    list(GET replay 0 host)
    list(GET replay 1 library)
    file(GLOB scenarios "${OUT}/*.scenario")
    if(NOT scenarios)
        string(APPEND problems "  no reproducing scenario in ${OUT}\n")
    endif()
    foreach(scenario IN LISTS scenarios)
        execute_process(COMMAND "${host}" --script "${library}" "${scenario}"
            RESULT_VARIABLE replayed OUTPUT_VARIABLE replay_out ERROR_VARIABLE replay_err
            TIMEOUT 60)
        if(NOT replayed STREQUAL "1")
            file(READ "${scenario}" text)
            string(APPEND problems "  ${scenario} replayed with exit status ${replayed}, "
                "expected 1:\n${text}--- its run:\n${replay_out}${replay_err}\n")
        endif()
    endforeach()
endif()
if(problems)
    message(FATAL_ERROR "${problems}--- output:\n${out}${err}")
endif()
