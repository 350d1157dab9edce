# 64-bit Windows in the MSVC ABI, with clang-cl and lld-link. Programs run under wine64 when
# CTest starts them, in the same kind of session as the MinGW build's.
set(VESK_MSVC_TRIPLE x86_64-pc-windows-msvc)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/clang-msvc-common.cmake)
