# 32-bit Windows in the MSVC ABI, the panel host's own: clang-cl and lld-link. Programs run
# under 32-bit Wine (Debian: wine32:i386) when CTest starts them.
set(VESK_MSVC_TRIPLE i686-pc-windows-msvc)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/clang-msvc-common.cmake)
