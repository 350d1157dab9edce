# Shared part of the MSVC-ABI cross toolchains: clang-cl and lld-link, with the Windows and C
# runtime headers of Wine (Debian: libwine-dev) and libc++'s headers (libc++-14-dev). The
# including file sets VESK_MSVC_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
#
# What comes out is laid out as Visual Studio lays it out: the script object's virtual table
# holds the scalar deleting destructor and then callback, thiscall on x86, names decorated the
# MSVC way. The DLLs import only what a Visual Studio build with /MD imports: kernel32.dll,
# the universal C runtime (ucrtbase.dll) and vcruntime140.dll. platform/msvc_runtime supplies
# the import libraries (from .def files, with llvm-dlltool) and the small static part of the
# runtime that Visual Studio links into every module.
set(CMAKE_SYSTEM_NAME Windows)
set(VESK_MSVC_ABI ON CACHE INTERNAL "clang in the MSVC ABI, with platform/msvc_runtime")

foreach(_vesk_lang C CXX)
    find_program(CMAKE_${_vesk_lang}_COMPILER NAMES clang-cl clang-cl-14 REQUIRED)
    set(CMAKE_${_vesk_lang}_COMPILER_TARGET ${VESK_MSVC_TRIPLE})
endforeach()
find_program(CMAKE_LINKER NAMES lld-link lld-link-14 REQUIRED)
find_program(CMAKE_AR NAMES llvm-lib llvm-lib-14 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc llvm-rc-14)
find_program(CMAKE_MT NAMES llvm-mt llvm-mt-14)
find_program(VESK_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
find_program(CMAKE_OBJDUMP NAMES llvm-objdump llvm-objdump-14)

# Nothing is linked while CMake checks the compiler: the runtime that links programs is built
# by the project itself.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(_vesk_wine_include /usr/include/wine/wine)
if(NOT EXISTS ${_vesk_wine_include}/msvcrt/stdlib.h)
    message(FATAL_ERROR "Windows headers missing: install libwine-dev")
endif()
set(_vesk_libcxx_include /usr/lib/llvm-14/include/c++/v1)
if(NOT EXISTS ${_vesk_libcxx_include}/__config)
    message(FATAL_ERROR "libc++ headers missing: install libc++-14-dev")
endif()
set(_vesk_compat_include ${CMAKE_CURRENT_LIST_DIR}/../../platform/msvc_runtime/include)

# Header order: libc++ first (its C wrappers include_next the C headers), then the additions
# of platform/msvc_runtime/include, then Wine's C runtime and Windows headers. All are system
# headers, so /W4 /WX applies to our code alone.
set(_vesk_c_includes "/imsvc ${_vesk_wine_include}/msvcrt /imsvc ${_vesk_wine_include}/windows")
set(_vesk_cxx_includes
    "/imsvc ${_vesk_libcxx_include} /imsvc ${_vesk_compat_include} ${_vesk_c_includes}")

# The workarounds, and why each is safe:
#
# /Zl: no default library names in the objects. Visual Studio's are msvcrt.lib and
#   oldnames.lib, which do not exist here; platform/msvc_runtime names the real import
#   libraries and its static part on every link line instead, so nothing goes unresolved
#   silently: a missing function is a link error.
# -fms-compatibility-version=19.29: the compiler claims Visual Studio 2019 (16.11), which the
#   headers test for; the layout of what we build does not depend on it.
# -D_Interlocked...=vesk_wine_Interlocked...: Wine's winnt.h defines inline helpers under the
#   names of compiler builtins (_InterlockedCompareExchange128 on x86-64, the 64-bit and pointer
#   forms on x86), which clang refuses. The macros give Wine's helpers other names; their bodies
#   are unchanged and none of our code calls them.
# libc++ configuration:
#   _LIBCPP_NO_VCRUNTIME: libc++ declares std::exception, std::bad_alloc and operator new
#     itself instead of taking them from Visual Studio's vcruntime headers, which are not here.
#     Exceptions never leave our DLLs, so no other module sees these classes.
#   _LIBCPP_DISABLE_VISIBILITY_ANNOTATIONS, _LIBCPP_NO_AUTO_LINK: there is no libc++ DLL for
#     this target; the few functions libc++ keeps out of line (exception classes, to_chars'
#     digits, operator new) are in platform/msvc_runtime, linked into each DLL.
#   _LIBCPP_DISABLE_EXTERN_TEMPLATE: templates libc++ would take from its library
#     (std::string) are instantiated in our objects instead.
# platform/msvc_runtime/include adds what Wine's C headers lack and libc++ names: the long
#   double math functions (declared only: long double is double in this ABI, and a call would
#   be a link error, not a wrong result), struct timespec (as the universal C runtime lays it
#   out) and _dupenv_s (as the universal C runtime declares it; ucrtbase.dll exports it).
set(_vesk_libcxx_defines "-D_LIBCPP_NO_VCRUNTIME -D_LIBCPP_DISABLE_VISIBILITY_ANNOTATIONS -D_LIBCPP_NO_AUTO_LINK -D_LIBCPP_DISABLE_EXTERN_TEMPLATE")
set(_vesk_common "/Zl -fms-compatibility-version=19.29")
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
    set(_vesk_wine_helpers _InterlockedCompareExchange128)
else()
    set(_vesk_wine_helpers _InterlockedAnd64 _InterlockedCompareExchangePointer
        _InterlockedExchangeAdd64 _InterlockedExchangePointer _InterlockedIncrement64
        _InterlockedDecrement64 _InterlockedOr64 _InterlockedXor64)
endif()
foreach(_vesk_helper IN LISTS _vesk_wine_helpers)
    string(APPEND _vesk_common " -D${_vesk_helper}=vesk_wine${_vesk_helper}")
endforeach()
set(CMAKE_C_FLAGS_INIT "${_vesk_common} ${_vesk_c_includes}")
set(CMAKE_CXX_FLAGS_INIT "${_vesk_common} ${_vesk_cxx_includes} ${_vesk_libcxx_defines}")

# No manifest tool run, and no default Windows libraries: platform/msvc_runtime links exactly
# what the modules import.
foreach(_vesk_kind EXE SHARED MODULE)
    set(CMAKE_${_vesk_kind}_LINKER_FLAGS_INIT "/MANIFEST:NO")
endforeach()
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)

include(${CMAKE_CURRENT_LIST_DIR}/wine-emulator.cmake)
