# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64). Programs run
# under wine64 when CTest starts them.
set(VESK_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

if(NOT DEFINED VESK_WINEPREFIX)
    # A throwaway prefix per build folder, made on first use by the wrapper.
    set(VESK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for the tests")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh ${VESK_WINEPREFIX})
