# The virtual tables of the script object and of the host link, in the compiler's own dump:
# the scalar deleting destructor first, then callback, then the handlers in their order.
separate_arguments(flags WINDOWS_COMMAND "${FLAGS}")
string(REPLACE "|" ";" INCLUDES "${INCLUDES}")
execute_process(COMMAND ${COMPILER} ${flags} ${INCLUDES} -Xclang -fdump-vtable-layouts
                        /c /Fo${OBJECT} -- ${SOURCE}
    RESULT_VARIABLE result OUTPUT_VARIABLE dump ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "compiling the probe failed:\n${errors}")
endif()
set(expected_script "VFTable for 'vesk_client_callback' in 'vesk_script_helper' in 'viewTrail' (9 entries).
   0 | viewTrail RTTI
   1 | viewTrail::~viewTrail() [scalar deleting]
   2 | char *vesk_script_helper::callback(char *, int)
   3 | void viewTrail::buttonCallback(buttonNotify *)
   4 | void viewTrail::revertiveCallback(revertiveNotify *)
   5 | vesk_string viewTrail::parentCallback(parentNotify *)
   6 | void vesk_script_helper::hostCallback(hostNotify *)
   7 | void viewTrail::timerCallback(int)
   8 | void viewTrail::secondaryRevertiveCallback(revertiveNotify *)")
set(expected_link "VFTable indices for 'vesk_client_callback' (2 entries).
   0 | vesk_client_callback::~vesk_client_callback() [scalar deleting]
   1 | char *vesk_client_callback::callback(char *, int)")
foreach(table expected_script expected_link)
    string(FIND "${dump}" "${${table}}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "virtual table order differs from:\n${${table}}\n\ndump:\n${dump}")
    endif()
endforeach()
message(STATUS "virtual tables in the MSVC order:\n${expected_script}\n${expected_link}")
