# Cross build for 32-bit Windows, the panel host's own platform, with MinGW-w64 (Debian:
# g++-mingw-w64-i686). Programs run under 32-bit Wine (Debian: wine32:i386) when CTest starts
# them.
set(VESK_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
