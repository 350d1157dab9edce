# Cross build for 32-bit Windows, the panel host's own platform, with MinGW-w64 (Debian:
# g++-mingw-w64-i686). 32-bit programs cannot run on the build machines, so this build is
# inspected (export table, layouts) rather than run.
set(VESK_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
