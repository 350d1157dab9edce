# Cross build for 32-bit Windows, the panel host's own platform, with MinGW-w64 (Debian:
# g++-mingw-w64-i686). Programs run under 32-bit Wine (Debian: wine32:i386) when CTest starts
# them.
set(VESK_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# 32-bit MinGW unwinds exceptions with DWARF tables, which each module's own static copy of
# libgcc knows only for that module: an exception a script lets escape could not unwind through
# vesk-host's frames and would end the process in terminate() instead of being reported. So
# every module shares libgcc's DLL (and the thread library's), copied beside the programs;
# libstdc++ stays inside each module.
foreach(_vesk_kind EXE SHARED MODULE)
    set(CMAKE_${_vesk_kind}_LINKER_FLAGS_INIT "-static-libstdc++ -shared-libgcc")
endforeach()
foreach(_vesk_dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_vesk_dll}
        OUTPUT_VARIABLE _vesk_found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_vesk_found}")
        # The compiler answers with the bare name when it has no such file.
        find_file(_vesk_found_${_vesk_dll} ${_vesk_dll}
            PATHS /usr/${VESK_MINGW_TRIPLE}/lib /usr/lib/gcc/${VESK_MINGW_TRIPLE} NO_DEFAULT_PATH)
        set(_vesk_found ${_vesk_found_${_vesk_dll}})
    endif()
    if(NOT EXISTS "${_vesk_found}")
        message(FATAL_ERROR "${_vesk_dll} of ${VESK_MINGW_TRIPLE} not found")
    endif()
    file(COPY ${_vesk_found} DESTINATION ${CMAKE_BINARY_DIR}/bin)
endforeach()
