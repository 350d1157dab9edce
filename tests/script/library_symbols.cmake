# The component's file: exactly one exported symbol of ours, load_vesk_client_script, and the
# script base's signature text in its static data.
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
if(NOT exported STREQUAL "load_vesk_client_script")
    message(FATAL_ERROR "expected only load_vesk_client_script exported, got: ${exported}")
endif()

file(STRINGS "${LIBRARY}" signature REGEX "^VESK_SIG,name=vesk_script_helper,type=LIB,version=[^,]*,date=[^,]*,author=")
if(NOT signature)
    message(FATAL_ERROR "the signature text is missing from ${LIBRARY}")
endif()
message(STATUS "exported: ${exported}; ${signature}")
