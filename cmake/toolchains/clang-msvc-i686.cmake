# 32-bit Windows in the MSVC ABI, the panel host's own: clang-cl and lld-link. 32-bit programs
# cannot run on the build machines, so this build is inspected (export table, imports, virtual
# table order, host structure layouts) rather than run.
set(VESK_MSVC_TRIPLE i686-pc-windows-msvc)
set(CMAKE_SYSTEM_PROCESSOR X86)
include(${CMAKE_CURRENT_LIST_DIR}/clang-msvc-common.cmake)
