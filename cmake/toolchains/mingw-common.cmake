# Shared part of the MinGW-w64 cross toolchains. The including file sets VESK_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

# The -posix thread model is preferred; the plain driver serves when that variant is missing.
foreach(_vesk_lang C CXX)
    if(_vesk_lang STREQUAL "C")
        set(_vesk_driver gcc)
    else()
        set(_vesk_driver g++)
    endif()
    find_program(CMAKE_${_vesk_lang}_COMPILER
        NAMES ${VESK_MINGW_TRIPLE}-${_vesk_driver}-posix ${VESK_MINGW_TRIPLE}-${_vesk_driver}
        REQUIRED)
endforeach()
find_program(CMAKE_RC_COMPILER NAMES ${VESK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VESK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime goes into every program and DLL, so that Windows (or Wine) needs
# none of MinGW's DLLs beside ours: only the system's kernel32 and msvcrt remain.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

include(${CMAKE_CURRENT_LIST_DIR}/wine-emulator.cmake)
