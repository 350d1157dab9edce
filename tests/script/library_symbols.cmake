# The component's file: exactly one exported symbol of ours, load_vesk_client_script, and the
# script base's signature text in its static data.
#
# ELF libraries are read with NM; Windows DLLs with OBJDUMP, whose export table must name the
# function undecorated (no leading underscore, no @N), since the host asks for it by that name.
if(OBJDUMP)
    execute_process(COMMAND ${OBJDUMP} -p "${LIBRARY}"
        RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "objdump failed: ${errors}")
    endif()
    string(REPLACE "\n" ";" lines "${listing}")
    set(exported "")
    set(inTable OFF)
    foreach(line IN LISTS lines)
        if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
            set(inTable ON)
        elseif(inTable AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] (.+)$")
            list(APPEND exported "${CMAKE_MATCH_1}")
        elseif(inTable)
            set(inTable OFF)
        endif()
    endforeach()
else()
    execute_process(COMMAND ${NM} -D --defined-only "${LIBRARY}"
        RESULT_VARIABLE result OUTPUT_VARIABLE symbols ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "nm failed: ${errors}")
    endif()
    string(REPLACE "\n" ";" lines "${symbols}")
    set(exported "")
    foreach(line IN LISTS lines)
        # "address type name"; absolute symbols (type A) are the linker's version nodes.
        if(line MATCHES "^[0-9a-fA-F]+ +([A-Za-z]) +(.+)$")
            if(NOT CMAKE_MATCH_1 STREQUAL "A")
                list(APPEND exported "${CMAKE_MATCH_2}")
            endif()
        endif()
    endforeach()
endif()
if(NOT exported STREQUAL "load_vesk_client_script")
    message(FATAL_ERROR "expected only load_vesk_client_script exported, got: ${exported}")
endif()

file(STRINGS "${LIBRARY}" signature REGEX "^VESK_SIG,name=vesk_script_helper,type=LIB,version=[^,]*,date=[^,]*,author=")
if(NOT signature)
    message(FATAL_ERROR "the signature text is missing from ${LIBRARY}")
endif()
message(STATUS "exported: ${exported}; ${signature}")
