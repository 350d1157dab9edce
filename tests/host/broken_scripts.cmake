# Runs vesk-host on each broken script and checks that the run ends with the right status and
# a report that says what happened, in which handler and at which scenario line, on the
# console and in the JUnit report. A broken run must never end vesk-host itself.
#   -DHOST, -DLIBDIR, -DPREFIX, -DSUFFIX (the libraries are ${PREFIX}broken_NAME${SUFFIX}),
#   -DSCENARIO, -DSYSTEM, -DWORK, -DEMULATOR
include(${CMAKE_CURRENT_LIST_DIR}/run_check.cmake)
string(REPLACE "|" ";" emulator "${EMULATOR}")
set(failures "")
# How each platform names the crash: a signal, or a structured exception.
if(WINDOWS)
    set(null_pointer "crashed: EXCEPTION_ACCESS_VIOLATION")
    set(early_exit "ended the run early")
else()
    set(null_pointer "crashed: SIGSEGV")
    set(early_exit "ended the run early with exit status 3")
endif()

# broken(NAME EXIT "OPTIONS" TEXT...): every TEXT must appear in the output and in the report.
function(broken name expected_exit extra)
    set(junit "${WORK}/broken_${name}.junit.xml")
    file(REMOVE "${junit}")
    separate_arguments(extra_args UNIX_COMMAND "${extra}")
    execute_process(
        COMMAND ${emulator} "${HOST}" --script "${LIBDIR}/${PREFIX}broken_${name}${SUFFIX}"
            --system "${SYSTEM}" --junit "${junit}" ${extra_args} "${SCENARIO}"
        RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    set(problems "")
    set(wanted_texts "${ARGN}")
    set(none "")
    run_check(problems "${status}" "${expected_exit}" "${out}${err}" "${junit}" wanted_texts none)
    if(problems)
        set(failures "${failures}broken_${name}:\n${problems}--- output:\n${out}${err}\n"
            PARENT_SCOPE)
    endif()
endfunction()

broken(crash 1 "" "${null_pointer}" "in buttonCallback, at ${SCENARIO}:3" "PS '1' 'broken'"
    "[2] button 1:button")
broken(hang 1 "--timeout 1" "hung: the call did not return within 1 s"
    "in buttonCallback, at ${SCENARIO}:3" "PS '1' 'broken'")
broken(abort 1 "" "crashed: SIGABRT" "in timerCallback, at ${SCENARIO}:4")
# Under Wine a thread whose stack overflows is ended with its process before any handler runs
# (Windows itself leaves the room SetThreadStackGuarantee asks for).
if(NOT WINDOWS)
    broken(recurse 1 "" "crashed: SIGSEGV" "in buttonCallback, at ${SCENARIO}:3")
endif()
broken(exit 1 "" "${early_exit}" "in parentCallback, at ${SCENARIO}:2")
broken(throw 1 ""
    "${SCENARIO}:3: broken_throw threw out of buttonCallback: panel layout missing"
    "vesk-host: FAILED")
# A record kept past its handler reads poison: a crash here, a report under a sanitizer.
broken(keep 1 "" "in buttonCallback, at ${SCENARIO}:5")
broken(construct 1 ""
    "load_vesk_client_script let an exception escape: no settings for this workstation")

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
