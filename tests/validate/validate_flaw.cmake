# Runs `vesk-host --validate` on a script with one flaw and checks that the check naming it
# failed: exit status 1 and a line "FAIL CHECK..." or "CRASH CHECK...".
#   -DCOMMAND=a|b|c   the command, "|" between arguments
#   -DSTATUS=N        the exit status expected
#   -DCHECK=NAME      the check that must fail
#   -DSTRICT=ON       run under --strict, where a warning is a FAIL and the count must show it
#   -DOUT=DIR         the folder of the reproducing scenarios, emptied first
#   -DREPLAY=HOST|LIB when set, each scenario written must fail again in plain vesk-host, run
#                     as the scenario's head says, and hold at most MAX_STEPS steps
string(REPLACE "|" ";" command "${COMMAND}")
if(OUT)
    file(REMOVE_RECURSE "${OUT}")
endif()
execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out
    ERROR_VARIABLE err TIMEOUT 300)
# Where the heap cannot be measured (a sanitizer's allocator, Windows) the check says so with a
# warning; the flaw is then not for it to find in this build.
if(out MATCHES "WARN ${CHECK}: the heap in use is not measured")
    message("SKIPPED: ${CHECK} cannot measure the heap in this build")
    return()
endif()
set(problems "")
if(NOT status STREQUAL STATUS)
    string(APPEND problems "  exit status ${status}, expected ${STATUS}\n")
endif()
set(verdicts "FAIL|CRASH")
if(STRICT)
    string(FIND "${out}" "validate: 0 passed, 1 failed" counted)
    if(counted EQUAL -1)
        string(APPEND problems "  no line 'validate: 0 passed, 1 failed'\n")
    endif()
endif()
string(REGEX MATCH "(^|\n)(${verdicts}) ${CHECK}(:|\n| )" verdict "${out}")
if(NOT verdict)
    string(APPEND problems "  no line '${verdicts} ${CHECK}'\n")
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
        # The command its head gives, or the plainest one.
        set(arguments --script "${library}" "${scenario}")
        file(STRINGS "${scenario}" head REGEX "^# Replay: vesk-host ")
        if(head)
            list(GET head 0 head)
            string(REGEX REPLACE "^# Replay: vesk-host " "" head "${head}")
            separate_arguments(arguments UNIX_COMMAND "${head}")
        endif()
        execute_process(COMMAND "${host}" ${arguments}
            RESULT_VARIABLE replayed OUTPUT_VARIABLE replay_out ERROR_VARIABLE replay_err
            TIMEOUT 60)
        # Its steps: the lines that start with a command (or "@name").
        file(READ "${scenario}" text)
        string(REGEX MATCHALL "\n[a-z@]" steps "\n${text}")
        list(LENGTH steps count)
        if(NOT replayed STREQUAL "1" OR count GREATER MAX_STEPS)
            string(APPEND problems "  ${scenario} replayed with exit status ${replayed} (1 "
                "wanted), ${count} steps (at most ${MAX_STEPS} wanted):\n${text}--- its run:\n"
                "${replay_out}${replay_err}\n")
        endif()
    endforeach()
endif()
if(problems)
    message(FATAL_ERROR "${problems}--- output:\n${out}${err}")
endif()
