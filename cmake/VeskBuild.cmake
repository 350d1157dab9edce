# Warnings are errors on our own code; third-party headers come in as system includes.
function(vesk_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /permissive-)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                                 -Wnon-virtual-dtor -Wconversion
                                                 -Wno-sign-conversion -Werror)
    endif()
endfunction()

# Windows has no rpath: test programs find our DLLs because everything shares one bin folder.
# Elsewhere, installed binaries find the SDK's shared libraries next to themselves.
if(NOT WIN32)
    set(CMAKE_INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}" CACHE STRING "")
endif()
